# The public release key is linked in from a key file (the 64 raw bytes of a
# P-256 point, X then Y) as an object library of its own, so that two builds
# of the program can differ in their key and in nothing else.
function(cairn_release_key target key_file)
  if(NOT EXISTS "${key_file}")
    message(FATAL_ERROR "release key file ${key_file} does not exist")
  endif()
  file(READ "${key_file}" key_hex HEX)
  string(LENGTH "${key_hex}" key_digits)
  if(NOT key_digits EQUAL 128)
    message(FATAL_ERROR "release key file ${key_file} must hold exactly 64 bytes")
  endif()
  string(REGEX REPLACE "(..)" "0x\\1, " key_bytes "${key_hex}")
  set(source "${CMAKE_BINARY_DIR}/generated/${target}.cpp")
  file(CONFIGURE OUTPUT "${source}" CONTENT
"// Generated from ${key_file}; do not edit.
#include \"update/release_key.h\"

const std::uint8_t releaseKey[kReleaseKeyBytes] = {${key_bytes}};
" @ONLY)
  add_library(${target} OBJECT "${source}")
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR})
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${key_file}")
endfunction()
