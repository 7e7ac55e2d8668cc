; The Windows installer of K Distortion, one per bitness; scripts/package
; runs makensis on it with these definitions:
;   VERSION  the project's version, e.g. 1.0.0
;   BITS     32 or 64: which DLL, which Program Files, which registry view
;   STAGE    folder holding KDistortion.dll, bin\plughost.exe, manual.html,
;            plughost.html, LICENSE.txt and THIRD-PARTY.txt
;   OUTFILE  the installer to write
;
; What goes where:
;   the plug-in folder   KDistortion.dll. Proposed: the folder that hosts and
;                        other installers record as VSTPluginsPath under
;                        HKLM\SOFTWARE\VST (32-bit registry view for the
;                        32-bit DLL), else Program Files\VSTPlugins of the
;                        DLL's bitness. The user may choose another one (/D=
;                        for a silent install).
;   Program Files\K Distortion   manual.html, plughost.html, LICENSE.txt,
;                        THIRD-PARTY.txt, uninstall.exe
;   Program Files\K Distortion\bin   plughost.exe of the same bitness
;   the registry         the entry in the list of installed programs, which
;                        also records the plug-in folder for the uninstaller;
;                        when chosen (unchecked by default; /AddToPath in a
;                        silent install), the bin folder at the end of the
;                        system PATH, which the uninstaller takes out again
;                        (that entry only, and only when this setup added it)
;
; Nothing is left half done: every file is first written under a temporary
; name beside its place, and only when all of them and the registry entry
; are there do they take their places. Any failure (no right to write, a
; file in use, a full disk) undoes what this run did, is reported (a message,
; and in a silent install exit code 2) and leaves what was there before.
; The uninstaller removes the files it lists and the folders the installer
; made, when they are empty; nothing else. Run from its own folder as
; deployment tools do (uninstall.exe /S _?=FOLDER) it does the same, and
; leaves only itself, which it cannot delete while it runs.

Unicode true
ManifestDPIAware true
RequestExecutionLevel admin
SetCompressor /SOLID lzma
; File times are those of the staged files, which scripts/package fixes.
SetDateSave on

!include LogicLib.nsh
!include x64.nsh
!include MUI2.nsh
!include FileFunc.nsh
!include Sections.nsh
!include WinMessages.nsh

!if ${BITS} == 64
  !define PROGRAM_FILES "$PROGRAMFILES64"
  !define REG_VIEW 64
!else
  !define PROGRAM_FILES "$PROGRAMFILES"
  !define REG_VIEW 32
!endif
!define PRODUCT "K Distortion"
!define DOC_FOLDER "${PROGRAM_FILES}\${PRODUCT}"
!define BIN_FOLDER "${DOC_FOLDER}\bin"
!define ENVIRONMENT_KEY "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\KDistortion-win${BITS}"
; The suffixes of the files written by this run before they take their
; places, and of the files they replace while the change is under way.
!define NEW ".kd-new"
!define OLD ".kd-old"

Name "${PRODUCT} ${VERSION} (${BITS}-bit)"
OutFile "${OUTFILE}"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "Velkaro"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${VERSION} installer (${BITS}-bit plug-in)"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "MIT licence"

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE.txt"
!insertmacro MUI_PAGE_COMPONENTS
!define MUI_DIRECTORYPAGE_TEXT_TOP "Setup puts KDistortion.dll (the plug-in for ${BITS}-bit hosts) into the folder below, the one your hosts scan for VST 2 plug-ins. plughost.exe, the manuals and the licences go to $\"${DOC_FOLDER}$\"."
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "VST 2 plug-in folder"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Var PluginFolderMade ; 1 when this run created the plug-in folder
Var DocFolderMade    ; 1 when this run created the documentation folder
Var BinFolderMade    ; 1 when this run created plughost's folder
Var Replaced         ; how many files have taken their places (for undoing)
Var EntryExisted     ; 1 when an earlier installation's entry was in the registry

Function .onInit
  !if ${BITS} == 64
    ${IfNot} ${RunningX64}
      MessageBox MB_ICONSTOP "This installer is for 64-bit Windows. On 32-bit Windows use KDistortion-${VERSION}-win32-setup.exe." /SD IDOK
      SetErrorLevel 2
      Quit
    ${EndIf}
  !endif
  SetRegView ${REG_VIEW}
  Call ReadPathOption
  ; /D= on the command line has set the folder already.
  ${If} $INSTDIR == ""
    ReadRegStr $0 HKLM "SOFTWARE\VST" "VSTPluginsPath"
    ExpandEnvStrings $0 $0
    ${If} $0 != ""
      StrCpy $INSTDIR $0
    ${Else}
      StrCpy $INSTDIR "${PROGRAM_FILES}\VSTPlugins"
    ${EndIf}
  ${EndIf}
FunctionEnd

; Reports a failure, undoes this run and ends it with exit code 2.
!macro Fail TEXT
  DetailPrint "${TEXT}"
  Call Undo
  MessageBox MB_ICONSTOP "${TEXT}$\r$\n$\r$\nNothing was installed or changed." /SD IDOK
  SetErrorLevel 2
  Abort
!macroend

; Writes one file of the package, STAGE\SOURCE, as FOLDER\NAME.kd-new; fails
; when no such file is there afterwards (SetOverwrite try skips a file it
; cannot write; a folder of that name is no file).
!macro Stage FOLDER NAME SOURCE
  Delete "${FOLDER}\${NAME}${NEW}"
  ClearErrors
  File "/oname=${FOLDER}\${NAME}${NEW}" "${STAGE}\${SOURCE}"
  ${IfNot} ${FileExists} "${FOLDER}\${NAME}${NEW}"
  ${OrIf} ${FileExists} "${FOLDER}\${NAME}${NEW}\*.*"
    !insertmacro Fail "Could not write ${NAME} to $\"${FOLDER}$\" (no right to write there, or the disk is full)."
  ${EndIf}
!macroend

; Puts FOLDER\NAME.kd-new in place of FOLDER\NAME; an existing file is kept
; as NAME.kd-old until everything is in place.
!macro Place FOLDER NAME
  Delete "${FOLDER}\${NAME}${OLD}"
  ${If} ${FileExists} "${FOLDER}\${NAME}"
    ClearErrors
    Rename "${FOLDER}\${NAME}" "${FOLDER}\${NAME}${OLD}"
    ${If} ${Errors}
      !insertmacro Fail "Could not replace $\"${FOLDER}\${NAME}$\": it is in use or protected. Close your hosts and try again."
    ${EndIf}
  ${EndIf}
  ClearErrors
  Rename "${FOLDER}\${NAME}${NEW}" "${FOLDER}\${NAME}"
  ${If} ${Errors}
    Rename "${FOLDER}\${NAME}${OLD}" "${FOLDER}\${NAME}"
    !insertmacro Fail "Could not put $\"${FOLDER}\${NAME}$\" in place."
  ${EndIf}
  IntOp $Replaced $Replaced + 1
!macroend

; Gives one file back what it had before this run (the file it replaced, or
; nothing) and removes what this run wrote for it.
!macro Restore FOLDER NAME INDEX
  ${If} $Replaced >= ${INDEX}
    Delete "${FOLDER}\${NAME}"
    Rename "${FOLDER}\${NAME}${OLD}" "${FOLDER}\${NAME}"
  ${EndIf}
  Delete "${FOLDER}\${NAME}${NEW}"
!macroend

Function Undo
  !insertmacro Restore "$INSTDIR" "KDistortion.dll" 1
  !insertmacro Restore "${BIN_FOLDER}" "plughost.exe" 2
  !insertmacro Restore "${DOC_FOLDER}" "manual.html" 3
  !insertmacro Restore "${DOC_FOLDER}" "plughost.html" 4
  !insertmacro Restore "${DOC_FOLDER}" "LICENSE.txt" 5
  !insertmacro Restore "${DOC_FOLDER}" "THIRD-PARTY.txt" 6
  !insertmacro Restore "${DOC_FOLDER}" "uninstall.exe" 7
  ${If} $EntryExisted == 0
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ${EndIf}
  ${If} $BinFolderMade == 1
    RMDir "${BIN_FOLDER}"
  ${EndIf}
  ${If} $DocFolderMade == 1
    RMDir "${DOC_FOLDER}"
  ${EndIf}
  ${If} $PluginFolderMade == 1
    RMDir "$INSTDIR"
  ${EndIf}
FunctionEnd

; Makes FOLDER unless it exists; sets VAR to 1 when it made it.
!macro MakeFolder FOLDER VAR
  StrCpy ${VAR} 0
  ${IfNot} ${FileExists} "${FOLDER}\*.*"
    ClearErrors
    CreateDirectory "${FOLDER}"
    ${If} ${Errors}
    ${OrIfNot} ${FileExists} "${FOLDER}\*.*"
      !insertmacro Fail "Could not create the folder $\"${FOLDER}$\" (no right to write there?)."
    ${EndIf}
    StrCpy ${VAR} 1
  ${EndIf}
!macroend

Section "K Distortion, plughost and the manuals" SecMain
  SectionIn RO
  SetRegView ${REG_VIEW}
  SetOverwrite try
  StrCpy $Replaced 0
  StrCpy $PluginFolderMade 0
  StrCpy $DocFolderMade 0
  StrCpy $BinFolderMade 0
  StrCpy $EntryExisted 0
  ClearErrors
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "DisplayName"
  ${IfNot} ${Errors}
    StrCpy $EntryExisted 1
  ${EndIf}
  ; An older installation of this bitness, if any, is replaced in place;
  ; its uninstaller entry then names the new folder.
  !insertmacro MakeFolder "$INSTDIR" $PluginFolderMade
  !insertmacro MakeFolder "${DOC_FOLDER}" $DocFolderMade
  !insertmacro MakeFolder "${BIN_FOLDER}" $BinFolderMade
  ; What the uninstaller is told: a folder that an earlier installation made
  ; stays one to remove.
  StrCpy $R9 $PluginFolderMade
  ${If} $EntryExisted == 1
    ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "PluginFolder"
    ReadRegDWORD $2 HKLM "${UNINSTALL_KEY}" "PluginFolderMade"
    ${If} $1 == $INSTDIR
    ${AndIf} $2 == 1
      StrCpy $R9 1
    ${EndIf}
  ${EndIf}

  !insertmacro Stage "$INSTDIR" "KDistortion.dll" "KDistortion.dll"
  !insertmacro Stage "${BIN_FOLDER}" "plughost.exe" "bin\plughost.exe"
  !insertmacro Stage "${DOC_FOLDER}" "manual.html" "manual.html"
  !insertmacro Stage "${DOC_FOLDER}" "plughost.html" "plughost.html"
  !insertmacro Stage "${DOC_FOLDER}" "LICENSE.txt" "LICENSE.txt"
  !insertmacro Stage "${DOC_FOLDER}" "THIRD-PARTY.txt" "THIRD-PARTY.txt"
  ClearErrors
  WriteUninstaller "${DOC_FOLDER}\uninstall.exe${NEW}"
  ${If} ${Errors}
  ${OrIfNot} ${FileExists} "${DOC_FOLDER}\uninstall.exe${NEW}"
    !insertmacro Fail "Could not write the uninstaller to $\"${DOC_FOLDER}$\"."
  ${EndIf}

  !insertmacro Place "$INSTDIR" "KDistortion.dll"
  !insertmacro Place "${BIN_FOLDER}" "plughost.exe"
  !insertmacro Place "${DOC_FOLDER}" "manual.html"
  !insertmacro Place "${DOC_FOLDER}" "plughost.html"
  !insertmacro Place "${DOC_FOLDER}" "LICENSE.txt"
  !insertmacro Place "${DOC_FOLDER}" "THIRD-PARTY.txt"
  !insertmacro Place "${DOC_FOLDER}" "uninstall.exe"

  ; The entry in the list of installed programs comes last: without the
  ; rights for it, the files go back to what they were.
  ClearErrors
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} ${VERSION} (${BITS}-bit VST 2 plug-in)"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Velkaro"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "PluginFolder" "$INSTDIR"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "PluginFolderMade" $R9
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" "$\"${DOC_FOLDER}\uninstall.exe$\""
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" "$\"${DOC_FOLDER}\uninstall.exe$\" /S"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${If} ${Errors}
    !insertmacro Fail "Could not register ${PRODUCT} in the list of installed programs (setup needs administrator rights)."
  ${EndIf}
  Call AddToPathIfChosen

  ; Everything is in place: the replaced files go (a DLL or program still
  ; in use at the next restart).
  Delete /REBOOTOK "$INSTDIR\KDistortion.dll${OLD}"
  Delete /REBOOTOK "${BIN_FOLDER}\plughost.exe${OLD}"
  Delete "${DOC_FOLDER}\manual.html${OLD}"
  Delete "${DOC_FOLDER}\plughost.html${OLD}"
  Delete "${DOC_FOLDER}\LICENSE.txt${OLD}"
  Delete "${DOC_FOLDER}\THIRD-PARTY.txt${OLD}"
  Delete "${DOC_FOLDER}\uninstall.exe${OLD}"
  DetailPrint "Installed KDistortion.dll into $INSTDIR; let your hosts rescan their plug-in folders."
SectionEnd

Section /o "Add plughost's folder to PATH" SecPath
  ; Done by the section above (AddToPathIfChosen), where a failure can still
  ; undo the whole run.
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecMain} "KDistortion.dll into the plug-in folder; plughost.exe, the manuals and the licences into $\"${DOC_FOLDER}$\"."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecPath} "Lets a command prompt run plughost by its name: $\"${BIN_FOLDER}$\" goes to the end of the system PATH (new prompts see it). Uninstalling takes it out again."
!insertmacro MUI_FUNCTION_DESCRIPTION_END

; /AddToPath on the command line checks the PATH option (for a silent
; install).
Function ReadPathOption
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/AddToPath" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecPath}
  ${EndIf}
FunctionEnd

; PathFilter: $R0 a PATH value, $R1 a folder. Gives $R2, the value without
; the items equal to $R1 (compared without regard to case; every other item,
; empty ones included, stays as it was), and $R3: 1 when there was one.
!macro PathFilter UN
Function ${UN}PathFilter
  Push $R4
  Push $R5
  Push $R6
  Push $R7
  StrCpy $R2 ""
  StrCpy $R3 0
  StrCpy $R4 0 ; where the next character is
  StrCpy $R6 "" ; the item read so far
  StrCpy $R7 0 ; 1 once an item has been kept
  ${Do}
    StrCpy $R5 $R0 1 $R4
    ${If} $R5 == ";"
    ${OrIf} $R5 == ""
      ${If} $R6 == $R1
        StrCpy $R3 1
      ${ElseIf} $R7 == 1
        StrCpy $R2 "$R2;$R6"
      ${Else}
        StrCpy $R2 $R6
        StrCpy $R7 1
      ${EndIf}
      StrCpy $R6 ""
      ${IfThen} $R5 == "" ${|} ${ExitDo} ${|}
    ${Else}
      StrCpy $R6 "$R6$R5"
    ${EndIf}
    IntOp $R4 $R4 + 1
  ${Loop}
  Pop $R7
  Pop $R6
  Pop $R5
  Pop $R4
FunctionEnd
!macroend
!insertmacro PathFilter ""
!insertmacro PathFilter "un."

; Adds BIN_FOLDER to the system PATH when the option is chosen and it is not
; there yet, and records it for the uninstaller. NSIS strings hold
; ${NSIS_MAX_STRLEN} characters: a PATH that does not fit is left alone
; rather than cut short.
Function AddToPathIfChosen
  ${IfNot} ${SectionIsSelected} ${SecPath}
    Return
  ${EndIf}
  ClearErrors
  ReadRegStr $R0 HKLM "${ENVIRONMENT_KEY}" "Path"
  ${If} ${Errors}
    !insertmacro Fail "Could not read the system PATH (it may be longer than setup can edit). Install without the PATH option and add $\"${BIN_FOLDER}$\" to PATH by hand."
  ${EndIf}
  StrCpy $R1 "${BIN_FOLDER}"
  Call PathFilter
  ${If} $R3 == 1
    DetailPrint "$\"${BIN_FOLDER}$\" is on PATH already."
    Return
  ${EndIf}
  StrLen $0 $R0
  StrLen $1 $R1
  IntOp $0 $0 + $1
  IntOp $0 $0 + 2 ; the separator and the terminating zero
  ${If} $0 > ${NSIS_MAX_STRLEN}
    !insertmacro Fail "The system PATH is too long for setup to add to it safely. Install without the PATH option and add $\"${BIN_FOLDER}$\" to PATH by hand."
  ${EndIf}
  StrCpy $1 $R0 1 -1
  ${If} $R0 == ""
  ${OrIf} $1 == ";"
    StrCpy $R2 "$R0$R1"
  ${Else}
    StrCpy $R2 "$R0;$R1"
  ${EndIf}
  ClearErrors
  WriteRegStr HKLM "${UNINSTALL_KEY}" "PathEntry" "$R1"
  WriteRegExpandStr HKLM "${ENVIRONMENT_KEY}" "Path" "$R2"
  ${If} ${Errors}
    WriteRegExpandStr HKLM "${ENVIRONMENT_KEY}" "Path" "$R0"
    !insertmacro Fail "Could not add $\"${BIN_FOLDER}$\" to the system PATH (setup needs administrator rights)."
  ${EndIf}
  SendMessage ${HWND_BROADCAST} ${WM_WININICHANGE} 0 "STR:Environment" /TIMEOUT=5000
  DetailPrint "Added $\"${BIN_FOLDER}$\" to the system PATH."
FunctionEnd

Function un.onInit
  SetRegView ${REG_VIEW}
FunctionEnd

Section "Uninstall"
  SetRegView ${REG_VIEW}
  ; The PATH entry this setup added, and nothing else of PATH.
  ReadRegStr $R1 HKLM "${UNINSTALL_KEY}" "PathEntry"
  ${If} $R1 != ""
    ClearErrors
    ReadRegStr $R0 HKLM "${ENVIRONMENT_KEY}" "Path"
    ${If} ${Errors}
      MessageBox MB_ICONEXCLAMATION "Could not read the system PATH to take $\"$R1$\" out of it; remove it by hand." /SD IDOK
    ${Else}
      Call un.PathFilter
      ${If} $R3 == 1
        WriteRegExpandStr HKLM "${ENVIRONMENT_KEY}" "Path" "$R2"
        SendMessage ${HWND_BROADCAST} ${WM_WININICHANGE} 0 "STR:Environment" /TIMEOUT=5000
      ${EndIf}
    ${EndIf}
  ${EndIf}
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "PluginFolder"
  ReadRegDWORD $1 HKLM "${UNINSTALL_KEY}" "PluginFolderMade"
  ${If} $0 != ""
    Delete "$0\KDistortion.dll"
    ${If} $1 == 1
      RMDir "$0"
    ${EndIf}
  ${EndIf}
  Delete "${BIN_FOLDER}\plughost.exe"
  RMDir "${BIN_FOLDER}"
  Delete "${DOC_FOLDER}\manual.html"
  Delete "${DOC_FOLDER}\plughost.html"
  Delete "${DOC_FOLDER}\LICENSE.txt"
  Delete "${DOC_FOLDER}\THIRD-PARTY.txt"
  Delete "${DOC_FOLDER}\uninstall.exe"
  RMDir "${DOC_FOLDER}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
