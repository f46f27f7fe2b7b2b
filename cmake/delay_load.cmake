# System DLLs that a start in the background does not need are delay-loaded:
# each is loaded at the first call of one of its functions. A DLL that cannot
# be loaded then makes its functions fail as they fail on their own
# (base/delay_load.cpp). Another DLL joins by adding its name to the list.
set(CAIRN_DELAY_LOADED_DLLS winhttp bcrypt gdiplus ole32 oleaut32 oleacc comctl32 dwmapi)

# Makes a delay-import library for lib<name>.a's functions from the symbols
# of the toolchain's own import library; the result's path goes into `out`.
function(cairn_delay_library out name)
  find_library(implib_${name} NAMES lib${name}.a REQUIRED)
  set(implib ${implib_${name}})
  set(folder ${CMAKE_BINARY_DIR}/delay)
  set(def ${folder}/${name}.def)
  set(lib ${folder}/lib${name}_delay.a)
  if(NOT EXISTS ${lib} OR ${implib} IS_NEWER_THAN ${lib})
    file(MAKE_DIRECTORY ${folder})
    execute_process(COMMAND ${CMAKE_NM} -g --defined-only ${implib}
                    OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
    string(REGEX MATCHALL "__imp_[A-Za-z0-9_@?$]+" imports "${symbols}")
    list(REMOVE_DUPLICATES imports)
    list(TRANSFORM imports REPLACE "^__imp_" "")
    list(JOIN imports "\n" exports)
    file(WRITE ${def} "LIBRARY ${name}.dll\nEXPORTS\n${exports}\n")
    execute_process(COMMAND ${CMAKE_DLLTOOL} --input-def ${def} --dllname ${name}.dll
                            --output-delaylib ${lib} COMMAND_ERROR_IS_FATAL ANY)
  endif()
  set(${out} ${lib} PARENT_SCOPE)
endfunction()

set(CAIRN_DELAY_LIBS)
foreach(dll ${CAIRN_DELAY_LOADED_DLLS})
  cairn_delay_library(delay_lib ${dll})
  list(APPEND CAIRN_DELAY_LIBS ${delay_lib})
endforeach()
