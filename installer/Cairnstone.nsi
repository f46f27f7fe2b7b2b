; Cairnstone-Setup: installs Cairnstone for every user of the machine (and
; the Cairnstone addon's files beside it, when the build packs them), has the
; program place the addon in the game as the signed-in user, and uninstalls
; it.
; Built by installer/make_setup.sh, which passes:
;   VERSION   the program's version (2 to 4 numbers), VERSION4 the same as four
;   PROGRAM   Cairnstone.exe        HELPER  setup_helper.exe
;   ICON      the program's icon    OUTFILE the installer to write
;   ADDON     (optional) the addon's folder
;   SIGN      (optional) a command that signs the file it is given
;
; Switches of a silent run (the program passes them on an update):
;   /S                 silent
;   /FOREVER="folder"  the game folder; stored empty unless it passes the
;                      program's own game-folder test
;   /MAINLANG=xx       the program's language (en nl de es it pl; others: en)
;   /NOAUTOSTART       do not start Cairnstone with Windows
;   /UPDATE            quit the running Cairnstone first, start it again after
; A silent run hands over only what its switches say: without /MAINLANG,
; /FOREVER or /NOAUTOSTART the program keeps the user's own choice. An
; interactive one preselects what the signed-in user has now.
; The program always goes into the 64-bit Program Files\Cairnstone, whatever
; /D= or an earlier installation's entry says: an elevated setup only ever
; writes and runs what only administrators can change, so it writes nothing
; into the game folder (the addon goes beside the program, and the program,
; running as the user, places it in the game) and never starts the installed
; program with its own rights.
; Exit codes: 0 done, 1 cancelled by the user, 2 aborted, 3 an older version
; than the installed one (refused), 4 Cairnstone did not quit, 5 the program
; files could not be replaced, 6 no administrator rights, 7 another setup runs.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
ManifestDPIAware true
RequestExecutionLevel admin

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WordFunc.nsh
!include TextFunc.nsh
!include nsDialogs.nsh

!define PRODUCT "Cairnstone"
!define PUBLISHER "Cairn"
!define PROGRAM_EXE "Cairnstone.exe"
!define UNINSTALLER "uninstall.exe"
!define SETTINGS_KEY "SOFTWARE\Cairn"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Cairnstone"
!define QUIT_WAIT_MS 20000 ; the program stops its threads within a second or two
!define ADDON_DIR "addon\Cairn" ; in the program's folder; the program copies it into the game
!define PLACE_WAIT_MS 60000 ; the program's placement of the addon, a copy of a few files
!define CURRENT_FILE "current.txt" ; the setup helper's account of the signed-in user
!define HELPER_EXE "setup_helper.exe"
!define HELPER_RETRY_MS 500
; One setup at a time, in all sessions. Only administrators may open the
; mutex; an object of that name that a standard user made first is no setup.
!define SETUP_MUTEX "Global\CairnstoneSetup"
!define ADMIN_ONLY_SDDL "O:BAD:P(A;;GA;;;BA)(A;;GA;;;SY)"
!define ERROR_ALREADY_EXISTS 183
!define WIN_BUILTIN_ADMINISTRATORS_SID 26
!define WIN_LOCAL_SYSTEM_SID 22
!define SE_KERNEL_OBJECT 6
!define OWNER_SECURITY_INFORMATION 1
!define GENERIC_WRITE 0x40000000
!define FILE_SHARE_READ 1
!define CREATE_NEW 1
!define NEW_FILE_NOT_THROUGH_A_LINK 0x00200080 ; FILE_FLAG_OPEN_REPARSE_POINT | FILE_ATTRIBUTE_NORMAL

!define EXIT_OLDER 3
!define EXIT_STILL_RUNNING 4
!define EXIT_NOT_REPLACED 5
!define EXIT_NOT_ADMIN 6
!define EXIT_SETUP_RUNS 7

; The setup helper's quit: 0 none ran, 3 one ran and has quit.
!define QUIT_AFTER_RUNNING 3
; The setup helper's place, beside the program's own exit codes (0 to 8).
!define PLACE_NOT_STARTED 100
!define PLACE_NOT_ENDED 101

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails nevershow
ShowUninstDetails show ; its list says what it does in plain words

!ifdef SIGN
  ; The uninstaller is signed before it is packed, the installer when done.
  !uninstfinalize '"${SIGN}" "%1"' = 0
  !finalize '"${SIGN}" "%1"' = 0
!endif

Var MainLang      ; the program's language code
Var Autostart     ; 1 or 0
Var GameDir       ; the _forever_ folder, or empty
Var Updating      ; 1 on /UPDATE
Var Installed     ; the installed version, or empty
Var LangList
Var AutostartBox
Var FolderField
Var LogFile       ; the open log, or 0
Var DataFolder    ; the signed-in user's data folder, named on the uninstall page
Var WasRunning    ; 1 when the setup closed a running Cairnstone
Var AutostartSet  ; 1 when the hand-over names autostart (else the program keeps its own)
Var InstallUser   ; the signed-in user's SID, or empty
Var UserLang      ; what the signed-in user has now (checked again before use)
Var UserFolder
Var UserAutostart
Var PlaceLine     ; the finish page's line on the addon's placement

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
; The program's look: leather pictures (tools/make_resources.py) beside
; parchment-coloured pages with its dark ink.
!define MUI_BGCOLOR "ECDEBC"
!define MUI_TEXTCOLOR "322111"
!define MUI_WELCOMEFINISHPAGE_BITMAP "${__FILEDIR__}/../res/installer/wizard.bmp"
!define MUI_HEADERIMAGE
!define MUI_HEADERIMAGE_RIGHT
!define MUI_HEADERIMAGE_BITMAP "${__FILEDIR__}/../res/installer/header.bmp"
!define MUI_HEADERIMAGE_UNBITMAP "${__FILEDIR__}/../res/installer/header.bmp"

!define MUI_WELCOMEPAGE_TITLE "$(WelcomeTitle)"
!define MUI_WELCOMEPAGE_TEXT "$(WelcomeText)"
!insertmacro MUI_PAGE_WELCOME
Page custom LanguagePage LanguagePageLeave
Page custom FolderPage FolderPageLeave
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TITLE "$(FinishTitle)"
!define MUI_FINISHPAGE_TEXT "$(FinishText)$\r$\n$\r$\n$PlaceLine"
!define MUI_FINISHPAGE_TEXT_LARGE
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "$(StartProgram)"
!define MUI_FINISHPAGE_RUN_FUNCTION StartProgram
!insertmacro MUI_PAGE_FINISH

!define MUI_UNCONFIRMPAGE_TEXT_TOP "$(UninstallKeeps)"
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The first is the fallback for Windows languages the installer does not speak.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Dutch"
!insertmacro MUI_LANGUAGE "German"
!insertmacro MUI_LANGUAGE "Spanish"
!insertmacro MUI_LANGUAGE "Italian"
!insertmacro MUI_LANGUAGE "Polish"
!include "${__FILEDIR__}/strings.nsh"

VIProductVersion "${VERSION4}"
VIFileVersion "${VERSION4}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"


; ---------------------------------------------------------------------------
; Shared by the installer and the uninstaller.

; A short account of each run, for support (silent runs show nothing):
; $TEMP\Cairnstone-Setup.log or Cairnstone-Uninstall.log, new at every run.
!macro Log text
  Push `${text}`
  !ifdef __UNINSTALL__
    Call un.WriteLog
  !else
    Call WriteLog
  !endif
!macroend
!define Log "!insertmacro Log"

!macro SetupCommon prefix logName
  Function ${prefix}WriteLog
    Exch $0
    ${If} $LogFile != 0
      FileWriteUTF16LE $LogFile "$0$\r$\n"
    ${EndIf}
    Pop $0
  FunctionEnd

  ; The log is made new and never opened through a link someone left in the
  ; temp folder by its name; it stays open for the whole run.
  Function ${prefix}OpenLog
    ; DeleteFileW itself: NSIS's Delete clears a read-only flag first, which
    ; would reach through a link to its target.
    System::Call 'kernel32::DeleteFileW(w "$TEMP\${logName}")'
    System::Call 'kernel32::CreateFileW(w "$TEMP\${logName}", i ${GENERIC_WRITE}, i ${FILE_SHARE_READ}, p 0, i ${CREATE_NEW}, i ${NEW_FILE_NOT_THROUGH_A_LINK}, p 0) p .r0'
    ${If} $0 = -1
      StrCpy $LogFile 0
    ${Else}
      StrCpy $LogFile $0
      FileWriteWord $LogFile 0xFEFF ; UTF-16LE
    ${EndIf}
  FunctionEnd

  ; Whether another setup holds the lock: 1 or 0 on the stack. A setup's
  ; mutex is owned by the administrators (or the system); anything else of
  ; that name was left by someone else and is ignored.
  Function ${prefix}AnotherSetupRuns
    System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w "${ADMIN_ONLY_SDDL}", i 1, *p .r2, p 0) i .r1'
    System::Call '*(i 24, i 0, p r2, i 0, i 0) p .r3' ; SECURITY_ATTRIBUTES
    System::Call 'kernel32::CreateMutexW(p r3, i 0, w "${SETUP_MUTEX}") p .r0 ?e'
    Pop $1
    System::Free $3
    System::Call 'kernel32::LocalFree(p r2)'
    StrCpy $4 0
    ${If} $0 = 0
      ${Log} "the setup lock's name is taken by an object setups cannot open (error $1): ignored"
    ${ElseIf} $1 = ${ERROR_ALREADY_EXISTS}
      System::Call 'advapi32::GetSecurityInfo(p r0, i ${SE_KERNEL_OBJECT}, i ${OWNER_SECURITY_INFORMATION}, *p .r5, p 0, p 0, p 0, *p .r6) i .r1'
      ${If} $1 = 0
        System::Call 'advapi32::IsWellKnownSid(p r5, i ${WIN_BUILTIN_ADMINISTRATORS_SID}) i .r1'
        System::Call 'advapi32::IsWellKnownSid(p r5, i ${WIN_LOCAL_SYSTEM_SID}) i .r7'
        System::Call 'kernel32::LocalFree(p r6)'
        ${If} $1 <> 0
        ${OrIf} $7 <> 0
          StrCpy $4 1
        ${EndIf}
      ${EndIf}
      ${If} $4 = 0
        ${Log} "the setup lock's name is taken by someone other than a setup: ignored"
      ${EndIf}
    ${EndIf}
    Push $4
  FunctionEnd

  ; NSIS unpacks its plug-ins (System, UserInfo, nsDialogs) and the pages'
  ; pictures into a folder of the temp folder, which the signed-in user can
  ; write: an elevated setup would load what that user put there. They go
  ; into a new folder in Program Files instead, which NSIS removes at the end.
  Function ${prefix}SafePluginsDir
    ClearErrors
    GetTempFileName $0 "$PROGRAMFILES64"
    IfErrors done ; not elevated: nothing here runs with more rights than the user's
    Delete $0
    CreateDirectory $0
    ${If} ${FileExists} "$0\*.*"
      UnsafeStrCpy $PLUGINSDIR $0
    ${EndIf}
    done:
  FunctionEnd

  Function ${prefix}SetupCommon
    Call ${prefix}SafePluginsDir
    Call ${prefix}OpenLog
    ${Log} "${PRODUCT} ${VERSION}: $CMDLINE"
    SetRegView 64
    SetShellVarContext all
    UserInfo::GetAccountType
    Pop $0
    ${If} $0 != "admin"
      ${Log} "no administrator rights"
      MessageBox MB_ICONSTOP "$(NeedAdmin)" /SD IDOK
      SetErrorLevel ${EXIT_NOT_ADMIN}
      Quit
    ${EndIf}
    ; One setup at a time: an update and a setup the user started would
    ; otherwise replace the program under each other.
    Call ${prefix}AnotherSetupRuns
    Pop $0
    ${If} $0 = 1
      ${Log} "another setup runs"
      MessageBox MB_ICONSTOP "$(SetupRuns)" /SD IDOK
      SetErrorLevel ${EXIT_SETUP_RUNS}
      Quit
    ${EndIf}
    ; Wherever /D= or an earlier installation's entry points, the program
    ; lives where only administrators can write.
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    StrCpy $INSTDIR "$PROGRAMFILES64\${PRODUCT}"
    ${If} $0 != ""
    ${AndIf} $0 != $INSTDIR
      ${Log} "the earlier installation's folder $0 is left alone"
    ${EndIf}
  FunctionEnd

  ; Runs the setup helper with the parameters on the stack and puts its exit
  ; code in $0 (empty when it did not run). It is unpacked into the program's
  ; folder, which only administrators can write, and removed again; the
  ; progress list shows none of it.
  Function ${prefix}RunHelper
    Exch $1
    SetDetailsPrint none
    CreateDirectory "$INSTDIR"
    File "/oname=$INSTDIR\${HELPER_EXE}" "${HELPER}"
    StrCpy $0 ""
    ExecWait '"$INSTDIR\${HELPER_EXE}" $1' $0
    ${If} $0 == ""
      ; A file just written may be held for a moment (a virus scanner).
      ${Log} "the setup helper did not start; tried once more"
      Sleep ${HELPER_RETRY_MS}
      ExecWait '"$INSTDIR\${HELPER_EXE}" $1' $0
    ${EndIf}
    Delete "$INSTDIR\${HELPER_EXE}"
    SetDetailsPrint lastused
    Pop $1
  FunctionEnd

  ; Asks the running Cairnstone to quit and waits for it; a program that will
  ; not quit leaves everything as it is.
  Function ${prefix}QuitProgram
    retry:
    Push 'quit "$INSTDIR\${PROGRAM_EXE}" ${QUIT_WAIT_MS}'
    Call ${prefix}RunHelper
    ${Log} "asked Cairnstone to quit: $0 (0: none ran, ${QUIT_AFTER_RUNNING}: it ran and has quit)"
    ${If} $0 == ${QUIT_AFTER_RUNNING}
      StrCpy $WasRunning 1
    ${ElseIf} $0 != 0
      MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(StillRunning)" /SD IDCANCEL IDRETRY retry
      SetErrorLevel ${EXIT_STILL_RUNNING}
      Abort
    ${EndIf}
  FunctionEnd

  ; A name of this run's own beside the program, in $1, for a program file
  ; that is in use (another user's session runs it): only that name is ever
  ; scheduled for deletion at the next restart, never one a later
  ; installation uses.
  Function ${prefix}AsideName
    System::Call 'ole32::CoCreateGuid(g .r1)'
    StrCpy $1 "$INSTDIR\${PROGRAM_EXE}.$1.old"
  FunctionEnd
!macroend
!insertmacro SetupCommon "" "Cairnstone-Setup.log"
!insertmacro SetupCommon "un." "Cairnstone-Uninstall.log"

; ---------------------------------------------------------------------------
; The installer.

; The language code the installer's own language stands for.
Function LanguageOfInstaller
  ${Select} $LANGUAGE
    ${Case} ${LANG_DUTCH}
      Push "nl"
    ${Case} ${LANG_GERMAN}
      Push "de"
    ${Case} ${LANG_SPANISH}
      Push "es"
    ${Case} ${LANG_ITALIAN}
      Push "it"
    ${Case} ${LANG_POLISH}
      Push "pl"
    ${CaseElse}
      Push "en"
  ${EndSelect}
FunctionEnd

; Whether the code on the stack is one of the program's six (the program's
; codes are lower case; StrCmp is not, so compare with ${If} ... S== ).
Function IsKnownLanguage
  Exch $0
  ${If} $0 S== "en"
  ${OrIf} $0 S== "nl"
  ${OrIf} $0 S== "de"
  ${OrIf} $0 S== "es"
  ${OrIf} $0 S== "it"
  ${OrIf} $0 S== "pl"
    StrCpy $0 1
  ${Else}
    StrCpy $0 0
  ${EndIf}
  Exch $0
FunctionEnd

; The text on the stack without leading and trailing spaces and tabs.
Function TrimSpaces
  Exch $0
  Push $1
  ${Do}
    StrCpy $1 $0 1
    ${If} $1 == " "
    ${OrIf} $1 == "$\t"
      StrCpy $0 $0 "" 1
    ${Else}
      ${ExitDo}
    ${EndIf}
  ${Loop}
  ${Do}
    StrCpy $1 $0 1 -1
    ${If} $1 == " "
    ${OrIf} $1 == "$\t"
      StrCpy $0 $0 -1
    ${Else}
      ${ExitDo}
    ${EndIf}
  ${Loop}
  Pop $1
  Exch $0
FunctionEnd

; The _forever_ folder a path means, checked as Cairnstone checks it: the
; folder itself, its _forever_ sub-folder, or the _forever_ folder up to three
; levels above; then it must hold Interface\AddOns or a Wow*.exe. Empty when
; the path means no game folder. Only a path on a drive is looked at: the
; elevated setup would reach a network or device path with its own rights.
Function ResolveGameFolder
  Exch $0
  Push $1
  Push $2
  Push $3
  ${WordReplace} $0 "/" "\" "+" $0
  Push $0
  Call TrimSpaces
  Pop $0
  StrCpy $1 $0 2 1
  ${If} $1 != ":\"
    StrCpy $0 ""
  ${EndIf}
  ${Do}
    StrLen $1 $0
    StrCpy $2 $0 1 -1
    ${If} $1 > 3
    ${AndIf} $2 == "\"
      StrCpy $0 $0 -1
    ${Else}
      ${ExitDo}
    ${EndIf}
  ${Loop}
  ${GetFileName} $0 $1
  ${If} $0 == ""
  ${ElseIf} $1 == "_forever_"
    ${IfNot} ${FileExists} "$0\*.*"
      StrCpy $0 ""
    ${EndIf}
  ${ElseIf} ${FileExists} "$0\_forever_\*.*"
    StrCpy $0 "$0\_forever_"
  ${Else}
    StrCpy $2 $0
    StrCpy $0 ""
    ${For} $1 1 3
      ${GetParent} $2 $2
      ${GetFileName} $2 $3
      ${If} $3 == "_forever_"
        StrCpy $0 $2
        ${ExitFor}
      ${EndIf}
    ${Next}
  ${EndIf}
  ${If} $0 != ""
  ${AndIfNot} ${FileExists} "$0\Interface\AddOns\*.*"
    FindFirst $1 $2 "$0\Wow*.exe"
    FindClose $1
    ${If} $2 == ""
      StrCpy $0 ""
    ${EndIf}
  ${EndIf}
  Pop $3
  Pop $2
  Pop $1
  Exch $0
FunctionEnd
!macro ResolveGameFolder out in
  Push "${in}"
  Call ResolveGameFolder
  Pop ${out}
!macroend
!define ResolveGameFolder "!insertmacro ResolveGameFolder"

; What the signed-in user has now, as the setup helper found it in their
; settings and Run value: their SID in $InstallUser, and $UserLang,
; $UserFolder, $UserAutostart (each empty when not found). The values are
; theirs to change, so each is checked again where it is used.
Function ReadCurrentUser
  StrCpy $InstallUser ""
  StrCpy $UserLang ""
  StrCpy $UserFolder ""
  StrCpy $UserAutostart ""
  StrCpy $R1 0
  ${IfNot} ${FileExists} "$INSTDIR\*.*"
    StrCpy $R1 1 ; made only for the helper: a cancelled setup leaves nothing
  ${EndIf}
  Delete "$INSTDIR\${CURRENT_FILE}"
  Push 'current "$INSTDIR\${CURRENT_FILE}"'
  Call RunHelper
  ${Log} "looked for the signed-in user: $0 (0: found)"
  ${If} $0 == 0
    ClearErrors
    FileOpen $1 "$INSTDIR\${CURRENT_FILE}" r
    ${IfNot} ${Errors}
      ${Do}
        ClearErrors
        FileReadUTF16LE $1 $2
        ${IfThen} ${Errors} ${|} ${ExitDo} ${|}
        ${TrimNewLines} $2 $2
        StrCpy $3 $2 5
        ${If} $3 S== "user="
          StrCpy $InstallUser $2 "" 5
        ${EndIf}
        StrCpy $3 $2 9
        ${If} $3 S== "language="
          StrCpy $UserLang $2 "" 9
        ${EndIf}
        StrCpy $3 $2 8
        ${If} $3 S== "forever="
          StrCpy $UserFolder $2 "" 8
        ${EndIf}
        StrCpy $3 $2 10
        ${If} $3 S== "autostart="
          StrCpy $UserAutostart $2 "" 10
        ${EndIf}
      ${Loop}
      FileClose $1
    ${EndIf}
  ${EndIf}
  Delete "$INSTDIR\${CURRENT_FILE}"
  ${If} $R1 == 1
    RMDir "$INSTDIR"
  ${EndIf}
  ; A SID is "S-1-" and digits and dashes.
  StrCpy $3 $InstallUser 4
  ${If} $3 S!= "S-1-"
  ${OrIf} $InstallUser == ""
    StrCpy $InstallUser ""
  ${Else}
    StrCpy $3 $InstallUser "" 4
    ${WordReplace} $3 "-" "" "+" $3
    ${If} $3 == ""
      StrCpy $InstallUser ""
    ${Else}
      ${For} $4 0 200
        StrCpy $5 $3 1 $4
        ${IfThen} $5 == "" ${|} ${ExitFor} ${|}
        ${If} $5 S< "0"
        ${OrIf} $5 S> "9"
          StrCpy $InstallUser ""
          ${ExitFor}
        ${EndIf}
      ${Next}
    ${EndIf}
  ${EndIf}
  ${Log} "the signed-in user: '$InstallUser'; now: language '$UserLang', game folder '$UserFolder', autostart '$UserAutostart'"
FunctionEnd

; What to install with. A silent run takes only what its switches give and
; leaves the rest to the program, which keeps the user's own choices. An
; interactive one shows the user's current choices (else the earlier
; installation's, else the machine's); each bad or missing value is replaced
; by a sound default.
Function ChooseSettings
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/UPDATE" $0
  ${IfNot} ${Errors}
    StrCpy $Updating 1
  ${EndIf}

  StrCpy $Autostart 1
  StrCpy $AutostartSet 1
  ClearErrors
  ${GetOptions} $R0 "/NOAUTOSTART" $0
  ${IfNot} ${Errors}
    StrCpy $Autostart 0
  ${ElseIf} ${Silent}
    StrCpy $AutostartSet 0
  ${ElseIf} $UserAutostart S== "0"
    StrCpy $Autostart 0
  ${ElseIf} $UserAutostart S== "1"
    StrCpy $Autostart 1
  ${Else}
    ReadRegDWORD $0 HKLM "${SETTINGS_KEY}" "Autostart"
    ${If} $0 == "0"
      StrCpy $Autostart 0
    ${EndIf}
  ${EndIf}

  ClearErrors
  ${GetOptions} $R0 "/MAINLANG=" $MainLang
  ${IfNot} ${Errors}
    Push $MainLang
    Call IsKnownLanguage
    Pop $0
    ${If} $0 == 0
      StrCpy $MainLang "en"
    ${EndIf}
  ${ElseIf} ${Silent}
    StrCpy $MainLang ""
  ${Else}
    ; The user's language now, else the earlier installation's, else Windows'.
    StrCpy $MainLang $UserLang
    Push $MainLang
    Call IsKnownLanguage
    Pop $0
    ${If} $0 == 0
      ReadRegStr $MainLang HKLM "${SETTINGS_KEY}" "Language"
      Push $MainLang
      Call IsKnownLanguage
      Pop $0
    ${EndIf}
    ${If} $0 == 0
      Call LanguageOfInstaller
      Pop $MainLang
    ${EndIf}
  ${EndIf}

  ClearErrors
  ; GetOptions takes off the double quotes the program puts around the folder.
  ${GetOptions} $R0 "/FOREVER=" $0
  ${IfNot} ${Errors}
    ${ResolveGameFolder} $GameDir $0
  ${ElseIf} ${Silent}
    StrCpy $GameDir ""
  ${Else}
    ; The user's folder now, else the earlier installation's, else where
    ; Blizzard's launcher put the game.
    ${ResolveGameFolder} $GameDir $UserFolder
    ${If} $GameDir == ""
      ReadRegStr $0 HKLM "${SETTINGS_KEY}" "ForeverDir"
      ${ResolveGameFolder} $GameDir $0
    ${EndIf}
    ${If} $GameDir == ""
      SetRegView 32
      ReadRegStr $0 HKLM "SOFTWARE\Blizzard Entertainment\World of Warcraft" "InstallPath"
      SetRegView 64
      ${If} $0 != ""
        ${ResolveGameFolder} $GameDir $0
      ${EndIf}
    ${EndIf}
  ${EndIf}
FunctionEnd

Function .onInit
  Call SetupCommon
  ReadRegStr $Installed HKLM "${UNINSTALL_KEY}" "DisplayVersion"
  ${If} $Installed != ""
    ${VersionCompare} "${VERSION}" "$Installed" $0
    ${If} $0 == 2
      MessageBox MB_YESNO|MB_ICONEXCLAMATION|MB_DEFBUTTON2 "$(OlderThanInstalled)" /SD IDNO IDYES older_confirmed
      ${Log} "refused: $Installed is installed, newer than this version"
      SetErrorLevel ${EXIT_OLDER}
      Quit
      older_confirmed:
    ${EndIf}
  ${EndIf}
  Call ReadCurrentUser
  Call ChooseSettings
  ${Log} "installed: $Installed; language '$MainLang', game folder '$GameDir', autostart $Autostart (handed over: $AutostartSet)"
FunctionEnd

Function LanguagePage
  !insertmacro MUI_HEADER_TEXT "$(LanguageTitle)" "$(LanguageSubtitle)"
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 24u "$(LanguageText)"
  Pop $0
  ${NSD_CreateListBox} 0 28u 50% 80u ""
  Pop $LangList
  ${NSD_LB_AddString} $LangList "English"
  ${NSD_LB_AddString} $LangList "Nederlands"
  ${NSD_LB_AddString} $LangList "Deutsch"
  ${NSD_LB_AddString} $LangList "Español"
  ${NSD_LB_AddString} $LangList "Italiano"
  ${NSD_LB_AddString} $LangList "Polski"
  ${Select} $MainLang
    ${Case} "nl"
      StrCpy $0 1
    ${Case} "de"
      StrCpy $0 2
    ${Case} "es"
      StrCpy $0 3
    ${Case} "it"
      StrCpy $0 4
    ${Case} "pl"
      StrCpy $0 5
    ${CaseElse}
      StrCpy $0 0
  ${EndSelect}
  SendMessage $LangList ${LB_SETCURSEL} $0 0
  ${NSD_CreateCheckbox} 0 118u 100% 12u "$(AutostartBox)"
  Pop $AutostartBox
  ${If} $Autostart == 1
    ${NSD_Check} $AutostartBox
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function LanguagePageLeave
  SendMessage $LangList ${LB_GETCURSEL} 0 0 $0
  ${Select} $0
    ${Case} 1
      StrCpy $MainLang "nl"
    ${Case} 2
      StrCpy $MainLang "de"
    ${Case} 3
      StrCpy $MainLang "es"
    ${Case} 4
      StrCpy $MainLang "it"
    ${Case} 5
      StrCpy $MainLang "pl"
    ${CaseElse}
      StrCpy $MainLang "en"
  ${EndSelect}
  ${NSD_GetState} $AutostartBox $0
  ${If} $0 == ${BST_CHECKED}
    StrCpy $Autostart 1
  ${Else}
    StrCpy $Autostart 0
  ${EndIf}
FunctionEnd

Function FolderPage
  !insertmacro MUI_HEADER_TEXT "$(FolderTitle)" "$(FolderSubtitle)"
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 48u "$(FolderText)"
  Pop $0
  ${NSD_CreateDirRequest} 0 56u 75% 13u "$GameDir"
  Pop $FolderField
  ${NSD_CreateBrowseButton} 77% 55u 23% 15u "$(^BrowseBtn)"
  Pop $0
  ${NSD_OnClick} $0 BrowseFolder
  nsDialogs::Show
FunctionEnd

Function BrowseFolder
  ${NSD_GetText} $FolderField $0
  nsDialogs::SelectFolderDialog "$(FolderPick)" "$0"
  Pop $0
  ${If} $0 != "error"
    ${NSD_SetText} $FolderField $0
  ${EndIf}
FunctionEnd

; An empty field is fine: Cairnstone then looks for the folder by itself.
Function FolderPageLeave
  ${NSD_GetText} $FolderField $0
  Push $0
  Call TrimSpaces
  Pop $0
  ${If} $0 == ""
    StrCpy $GameDir ""
    Return
  ${EndIf}
  ${ResolveGameFolder} $1 $0
  ${If} $1 == ""
    MessageBox MB_ICONEXCLAMATION "$(FolderBad)"
    Abort
  ${EndIf}
  StrCpy $GameDir $1
FunctionEnd

; Puts the new program in place so that a failure at any step leaves a
; runnable one: the new file is written beside the old, the old moved aside
; and the new moved in (the old comes back if that fails). An old program
; still in use (another user's session runs it) is removed at the next
; restart under the name of its own it was moved to, so that neither it nor
; an earlier run's leftover ever stands in the way of this or a later update.
Function ReplaceProgram
  Delete "$INSTDIR\${PROGRAM_EXE}.new"
  ClearErrors
  File "/oname=$INSTDIR\${PROGRAM_EXE}.new" "${PROGRAM}"
  IfErrors failed
  ; Earlier runs' leftovers still in use stay; each is already scheduled.
  Delete "$INSTDIR\${PROGRAM_EXE}*.old"
  StrCpy $1 ""
  ${If} ${FileExists} "$INSTDIR\${PROGRAM_EXE}"
    Call AsideName
    ClearErrors
    Rename "$INSTDIR\${PROGRAM_EXE}" $1
    IfErrors failed
  ${EndIf}
  ClearErrors
  Rename "$INSTDIR\${PROGRAM_EXE}.new" "$INSTDIR\${PROGRAM_EXE}"
  ${If} ${Errors}
    ${If} $1 != ""
      Rename $1 "$INSTDIR\${PROGRAM_EXE}"
    ${EndIf}
    Goto failed
  ${EndIf}
  ${If} $1 != ""
    Delete /REBOOTOK $1
  ${EndIf}
  Return
  failed:
  ${Log} "the program could not be replaced"
  Delete "$INSTDIR\${PROGRAM_EXE}.new"
  MessageBox MB_ICONSTOP "$(NotReplaced)" /SD IDOK
  SetErrorLevel ${EXIT_NOT_REPLACED}
  Abort
FunctionEnd

; The addon's files go beside the program, exactly as the build has them:
; the program, running as the signed-in user, copies them into the game
; folder (PlaceAddon) and keeps the user's Config.lua there. Nothing is written into the
; game folder from here: any user may write there.
Function InstallAddon
  !ifdef ADDON
    RMDir /r "$INSTDIR\${ADDON_DIR}"
    SetOutPath "$INSTDIR\${ADDON_DIR}"
    File /r "${ADDON}/*"
    SetOutPath "$INSTDIR"
  !endif
FunctionEnd

Function WriteUninstallEntry
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${PROGRAM_EXE},0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  ; In place (_?=): run directly, NSIS would copy the uninstaller into the
  ; temp folder and run that copy elevated, and the signed-in user can
  ; replace it there.
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}" _?=$INSTDIR'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S _?=$INSTDIR'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
FunctionEnd

; What the program takes over at its next start, once per installation: the
; stamp is new every time and written last. An empty language or folder, or
; no Autostart, leaves the program's own choice; the folder is taken only by
; the account that chose it (InstallUser).
Function WriteProgramSettings
  WriteRegStr HKLM "${SETTINGS_KEY}" "InstallUser" $InstallUser
  ${If} $AutostartSet == 1
    WriteRegDWORD HKLM "${SETTINGS_KEY}" "Autostart" $Autostart
  ${Else}
    DeleteRegValue HKLM "${SETTINGS_KEY}" "Autostart"
  ${EndIf}
  WriteRegStr HKLM "${SETTINGS_KEY}" "Language" $MainLang
  WriteRegStr HKLM "${SETTINGS_KEY}" "ForeverDir" $GameDir
  System::Call 'ole32::CoCreateGuid(g .r0)'
  WriteRegStr HKLM "${SETTINGS_KEY}" "InstallStamp" "${VERSION} $0"
FunctionEnd

; Starts Cairnstone as the signed-in user, never with the setup's rights.
Function StartProgram
  Push 'start "$INSTDIR\${PROGRAM_EXE}"'
  Call RunHelper
  ${Log} "started Cairnstone as the signed-in user: $0 (0: started)"
  ${If} $0 != 0
    DetailPrint "$(NotStarted)"
  ${EndIf}
FunctionEnd

; The program, as the signed-in user, takes over this installation and
; places the addon in the game (the elevated setup writes nothing there); its
; exit code says how that went, and the finish page says it in a line.
Function PlaceAddon
  Push 'place "$INSTDIR\${PROGRAM_EXE}" ${PLACE_WAIT_MS}'
  Call RunHelper
  ${Log} "placed the addon in the game as the signed-in user: '$0' (0 in place, 1 no game folder, 2 another account's link refused, 3 access denied, 4 disk full, 5 a file in use, 6 another failure, 7 no addon beside the program, 8 the running Cairnstone did not answer, ${PLACE_NOT_STARTED} not seen running, ${PLACE_NOT_ENDED} not ended in time)"
  ${If} $0 == ""
    StrCpy $0 ${PLACE_NOT_STARTED}
  ${EndIf}
  ${Select} $0
    ${Case} 0
      StrCpy $PlaceLine "$(Placed)"
    ${Case} 1
      StrCpy $PlaceLine "$(PlaceNoFolder)"
    ${Case} 2
      StrCpy $PlaceLine "$(PlaceLinkRefused)"
    ${Case} 3
      StrCpy $PlaceLine "$(PlaceAccessDenied)"
    ${Case} 4
      StrCpy $PlaceLine "$(PlaceDiskFull)"
    ${Case} 5
      StrCpy $PlaceLine "$(PlaceInUse)"
    ${Case} 7
      StrCpy $PlaceLine "$(PlaceNoAddon)"
    ${Case} 8
      StrCpy $PlaceLine "$(PlaceNoAnswer)"
    ${Case} ${PLACE_NOT_STARTED}
      StrCpy $PlaceLine "$(PlaceNotStarted)"
    ${Case} ${PLACE_NOT_ENDED}
      StrCpy $PlaceLine "$(PlaceNotEnded)"
    ${CaseElse}
      StrCpy $PlaceLine "$(PlaceFailed)"
  ${EndSelect}
FunctionEnd

Section
  SetOutPath "$INSTDIR"
  Call QuitProgram
  Call ReplaceProgram
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  ; An uninstall run in place before (and no restart since) left this name
  ; to be deleted at the next restart.
  Push 'keep "$INSTDIR\${UNINSTALLER}"'
  Call RunHelper
  ${Log} "kept the uninstaller from a deletion at the next restart: $0 (0: none is due)"
  Call InstallAddon
  ; A start from the Start menu shows the window (or the setup wizard).
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\${PROGRAM_EXE}" "--open"
  Call WriteUninstallEntry
  Call WriteProgramSettings
  ${Log} "installed in $INSTDIR"
  Call PlaceAddon
  ; An update, or a silent run that closed it, starts it again (an
  ; interactive run offers that on its last page).
  StrCpy $0 $Updating
  ${If} ${Silent}
  ${AndIf} $WasRunning == 1
    StrCpy $0 1
  ${EndIf}
  ${If} $0 == 1
    Call StartProgram
  ${EndIf}
SectionEnd

; ---------------------------------------------------------------------------
; The uninstaller. The user's data folder and the addon stay (its page says
; so); removing what is not there is harmless, so a second run does nothing.

; The data folder that stays is the signed-in user's (the uninstaller's own
; profile may be an administrator's); its page names it.
Function un.FindDataFolder
  StrCpy $DataFolder "%APPDATA%\Cairn"
  Delete "$INSTDIR\datafolder.txt"
  Push 'datafolder "$INSTDIR\datafolder.txt"'
  Call un.RunHelper
  ${If} $0 == 0
    FileOpen $1 "$INSTDIR\datafolder.txt" r
    FileReadUTF16LE $1 $2
    FileClose $1
    ${If} $2 != ""
      StrCpy $DataFolder $2
    ${EndIf}
  ${EndIf}
  Delete "$INSTDIR\datafolder.txt"
  ${Log} "the data folder that stays: $DataFolder"
FunctionEnd

Function un.onInit
  Call un.SetupCommon
  Call un.FindDataFolder
FunctionEnd

; A line of the progress list in plain words; the steps themselves show none.
!macro Step text
  SetDetailsPrint both
  DetailPrint "${text}"
  SetDetailsPrint none
!macroend
!define Step "!insertmacro Step"

Section Uninstall
  SetDetailsPrint none
  SetOutPath "$TEMP" ; a working folder inside $INSTDIR would keep it from going
  ${If} ${FileExists} "$INSTDIR\${PROGRAM_EXE}"
    ${Step} "$(UnStepQuit)"
    Call un.QuitProgram
  ${EndIf}
  ${Step} "$(UnStepProgram)"
  Delete "$INSTDIR\${PROGRAM_EXE}"
  ${If} ${FileExists} "$INSTDIR\${PROGRAM_EXE}"
    ; Still in use in another user's session: moved aside to a name of this
    ; run's own, which goes at the next restart (a reinstall before then
    ; keeps its program).
    Call un.AsideName
    ClearErrors
    Rename "$INSTDIR\${PROGRAM_EXE}" $1
    ${If} ${Errors}
      ${Log} "the program is in use and stays"
    ${Else}
      Delete /REBOOTOK $1
    ${EndIf}
  ${EndIf}
  Delete "$INSTDIR\${PROGRAM_EXE}.new"
  Delete "$INSTDIR\${PROGRAM_EXE}*.old" ; those in use are already scheduled
  RMDir /r "$INSTDIR\addon"
  ; Run in place (the entry passes _?=), the uninstaller is in use and goes
  ; at the next restart; an installation before then takes that back.
  Delete /REBOOTOK "$INSTDIR\${UNINSTALLER}"
  ${Step} "$(UnStepEntries)"
  Push "unrun"
  Call un.RunHelper
  ${Log} "removed the signed-in user's start with Windows: $0 (0: gone)"
  RMDir /REBOOTOK "$INSTDIR"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegValue HKLM "${SETTINGS_KEY}" "InstallStamp"
  DeleteRegValue HKLM "${SETTINGS_KEY}" "Autostart"
  DeleteRegValue HKLM "${SETTINGS_KEY}" "Language"
  DeleteRegValue HKLM "${SETTINGS_KEY}" "ForeverDir"
  DeleteRegValue HKLM "${SETTINGS_KEY}" "InstallUser"
  DeleteRegKey /ifempty HKLM "${SETTINGS_KEY}"
  ${Log} "removed from $INSTDIR"
  SetDetailsPrint both ; and "Completed"
SectionEnd
