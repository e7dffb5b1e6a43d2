; tessaly-setup.exe: installs the 32-bit TESSALY.AX (the splitter) and
; TESSALYCV.AX (the Cinepak decoder, and Explorer's FILM thumbnail provider
; and property handler, whose keys its own registration writes) on every
; Windows and the 64-bit ones beside them on 64-bit Windows, registered
; with the regsvr32 of their bitness, and records an uninstaller that takes
; them all out again. Silent with /S. Built by scripts/installer.sh, which
; defines VERSION_NSH, MODULE_X86, MODULE_X64, DECODER_X86, DECODER_X64 and
; OUTFILE.
;
; Folders: by default the 32-bit module and the uninstaller go to the 32-bit
; program-files folder and the 64-bit module to the 64-bit one, each in
; "Tessaly". With /D=<folder> the 32-bit module and the uninstaller go to
; <folder> and the 64-bit module to <folder>\x64.
;
;
; /FILMONLY: the decoder takes Cinepak from the FILM splitter only, and
; Cinepak in other files (AVI) stays with the system's codec. Without it the
; decoder takes every Cinepak stream. The choice is made anew at each
; installation (a value under the decoder's class key, in both views).
;
; Exit codes: 0 done; 2 a module could not be registered, unregistered or
; replaced (everything is as it was before the run); 3 a module is in use by
; a running program (nothing was changed); 4 the product is installed in
; another folder (nothing was changed). The uninstaller ends with 3010 when
; files in use are removed only when Windows restarts.
Unicode true
!include "${VERSION_NSH}"
!include LogicLib.nsh
!include x64.nsh
!include FileFunc.nsh

!define PRODUCT "Tessaly Parser"
!define PRODUCT_FOLDER "Tessaly"
!define MODULE "TESSALY.AX"
!define DECODER "TESSALYCV.AX"
!define DECODER_CLASS "{EF35C655-4789-4C17-81F6-4E7C19F39BEB}"
!define UNINSTALLER "uninstall.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tessaly"

Name "${PRODUCT} ${TESSALY_VERSION}"
OutFile "${OUTFILE}"
RequestExecutionLevel admin
InstallDir "$PROGRAMFILES32\${PRODUCT_FOLDER}"
SetCompressor /SOLID lzma
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${TESSALY_VERSION_QUAD}"
VIFileVersion "${TESSALY_VERSION_QUAD}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${TESSALY_VERSION}"
VIAddVersionKey "FileVersion" "${TESSALY_VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} ${TESSALY_VERSION} setup"
VIAddVersionKey "LegalCopyright" ""

Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Var Folder32 ; the 32-bit module's folder, where the uninstaller lives too
Var Folder64 ; the 64-bit module's folder (64-bit Windows only)
Var Failed   ; uninstall: 1 once a module could not be unregistered
Var FilmOnly ; 1 with /FILMONLY

; Runs the regsvr32 of a bitness and leaves its exit code in $0. The
; installer is a 32-bit program: System32 shows it the 32-bit regsvr32, and
; the 64-bit one only while the file system redirection is off.
!macro RunRegsvr32 BITS ARGUMENTS
  ClearErrors
  !if "${BITS}" == "64"
    ${DisableX64FSRedirection}
  !endif
  ExecWait '"$SYSDIR\regsvr32.exe" /s ${ARGUMENTS}' $0
  ${If} ${Errors}
    StrCpy $0 "not started"
  ${EndIf}
  !if "${BITS}" == "64"
    ${EnableX64FSRedirection}
  !endif
!macroend

; Unregisters a module and leaves regsvr32's exit code in $0. A module of
; an older release could unregister only a whole registration: when the
; first try fails, registering it again completes what is left, and a
; second try takes it all out.
!macro UnregisterModule BITS PATH
  !insertmacro RunRegsvr32 ${BITS} '/u "${PATH}"'
  ${If} $0 != 0
    !insertmacro RunRegsvr32 ${BITS} '"${PATH}"'
    ${If} $0 == 0
      !insertmacro RunRegsvr32 ${BITS} '/u "${PATH}"'
    ${EndIf}
  ${EndIf}
!macroend

; The default layout splits the bitnesses over both program-files folders;
; a folder of the user's choice holds both, the 64-bit module in "x64".
!macro SetFolders
  StrCpy $Folder32 "$INSTDIR"
  ${If} "$INSTDIR" == "$PROGRAMFILES32\${PRODUCT_FOLDER}"
    StrCpy $Folder64 "$PROGRAMFILES64\${PRODUCT_FOLDER}"
  ${Else}
    StrCpy $Folder64 "$INSTDIR\x64"
  ${EndIf}
!macroend

; A loaded module cannot be written: a player holds it. Replacing it would
; either fail half-way or leave the old one running unseen, so nothing is
; touched until every player is closed.
!macro RefuseModuleInUse DIR NAME
  ${If} ${FileExists} "${DIR}\${NAME}"
    ClearErrors
    FileOpen $1 "${DIR}\${NAME}" a
    ${If} ${Errors}
      MessageBox MB_OK|MB_ICONSTOP "${DIR}\${NAME} is in use by a running program. Close every player and run the setup again. Nothing was changed." /SD IDOK
      SetErrorLevel 3
      Quit
    ${EndIf}
    FileClose $1
  ${EndIf}
!macroend

; Puts the .old module back and registers it; without one, the folder goes.
!macro RestoreOldModule BITS DIR NAME
  ${If} ${FileExists} "${DIR}\${NAME}.old"
    Rename "${DIR}\${NAME}.old" "${DIR}\${NAME}"
    !insertmacro RunRegsvr32 ${BITS} '"${DIR}\${NAME}"'
  ${EndIf}
  SetOutPath "$TEMP"
  RMDir "${DIR}"
!macroend

; Puts the new module in place of the old one, keeping the old one beside it
; as .old until the whole installation has succeeded. The old module is
; unregistered while its file is still the one registered; a module whose
; unregistration fails stays where it is. On any failure the folder is left
; as it was, the old module registered again, and $0 is not 0.
!macro ReplaceModule BITS SOURCE DIR NAME
  SetOutPath "${DIR}"
  Delete "${DIR}\${NAME}.old"
  File "/oname=${NAME}.new" "${SOURCE}"
  StrCpy $0 0
  ${If} ${FileExists} "${DIR}\${NAME}"
    !insertmacro UnregisterModule ${BITS} "${DIR}\${NAME}"
    ${If} $0 != 0
      DetailPrint "Unregistering the installed ${DIR}\${NAME} failed (regsvr32 exit code $0)"
      ; Whatever part of it came out goes back in.
      !insertmacro RunRegsvr32 ${BITS} '"${DIR}\${NAME}"'
      StrCpy $0 "unregistering failed"
    ${Else}
      ClearErrors
      Rename "${DIR}\${NAME}" "${DIR}\${NAME}.old"
      ${If} ${Errors}
        !insertmacro RunRegsvr32 ${BITS} '"${DIR}\${NAME}"'
        StrCpy $0 "the installed module could not be moved aside"
      ${EndIf}
    ${EndIf}
  ${EndIf}
  ${If} $0 == 0
    Rename "${DIR}\${NAME}.new" "${DIR}\${NAME}"
    !insertmacro RunRegsvr32 ${BITS} '"${DIR}\${NAME}"'
    ${If} $0 != 0
      ; A module that fails to register takes its own half registration out.
      DetailPrint "Registering ${DIR}\${NAME} failed (regsvr32 exit code $0)"
      Delete "${DIR}\${NAME}"
      !insertmacro RestoreOldModule ${BITS} "${DIR}" "${NAME}"
      StrCpy $0 "registering failed"
    ${Else}
      DetailPrint "Registered ${DIR}\${NAME}"
    ${EndIf}
  ${EndIf}
  Delete "${DIR}\${NAME}.new"
!macroend

; Undoes a ReplaceModule that succeeded, when a later one failed.
!macro RevertModule BITS DIR NAME
  !insertmacro RunRegsvr32 ${BITS} '/u "${DIR}\${NAME}"'
  ${If} $0 == 0
    Delete "${DIR}\${NAME}"
    !insertmacro RestoreOldModule ${BITS} "${DIR}" "${NAME}"
  ${EndIf}
!macroend

!macro FailInstallation WHAT
  MessageBox MB_OK|MB_ICONSTOP "${WHAT}. The installation stops here; what was installed before is unchanged." /SD IDOK
  SetErrorLevel 2
  Abort "${WHAT}"
!macroend

Function .onInit
  !insertmacro SetFolders
  StrCpy $FilmOnly 0
  ${GetParameters} $1
  ClearErrors
  ${GetOptions} $1 "/FILMONLY" $2
  ${IfNot} ${Errors}
    StrCpy $FilmOnly 1
  ${EndIf}
  ; One installation at a time: a second one elsewhere would take over the
  ; registration and leave the first one's uninstaller removing it.
  ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $1 != ""
  ${AndIf} $1 != "$INSTDIR"
    MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} is installed in $1. Uninstall it first, or install it there again. Nothing was changed." /SD IDOK
    SetErrorLevel 4
    Quit
  ${EndIf}
  ${If} ${RunningX64}
    !insertmacro RefuseModuleInUse "$Folder64" "${MODULE}"
    !insertmacro RefuseModuleInUse "$Folder64" "${DECODER}"
  ${EndIf}
  !insertmacro RefuseModuleInUse "$Folder32" "${MODULE}"
  !insertmacro RefuseModuleInUse "$Folder32" "${DECODER}"
FunctionEnd

Section "${PRODUCT}"
  SetOverwrite on
  ; Four modules, each replaced with its old file kept beside it; a failure
  ; reverts those replaced before it, in the opposite order, so that what
  ; was installed before is what stays.
  ${If} ${RunningX64}
    !insertmacro ReplaceModule 64 "${MODULE_X64}" "$Folder64" "${MODULE}"
    ${If} $0 != 0
      !insertmacro FailInstallation "The 64-bit ${PRODUCT} module $Folder64\${MODULE} could not be installed ($0)"
    ${EndIf}
    !insertmacro ReplaceModule 64 "${DECODER_X64}" "$Folder64" "${DECODER}"
    ${If} $0 != 0
      StrCpy $2 $0
      !insertmacro RevertModule 64 "$Folder64" "${MODULE}"
      !insertmacro FailInstallation "The 64-bit decoder module $Folder64\${DECODER} could not be installed ($2)"
    ${EndIf}
  ${EndIf}
  !insertmacro ReplaceModule 32 "${MODULE_X86}" "$Folder32" "${MODULE}"
  ${If} $0 != 0
    StrCpy $2 $0
    ${If} ${RunningX64}
      !insertmacro RevertModule 64 "$Folder64" "${DECODER}"
      !insertmacro RevertModule 64 "$Folder64" "${MODULE}"
    ${EndIf}
    !insertmacro FailInstallation "The 32-bit ${PRODUCT} module $Folder32\${MODULE} could not be installed ($2)"
  ${EndIf}
  !insertmacro ReplaceModule 32 "${DECODER_X86}" "$Folder32" "${DECODER}"
  ${If} $0 != 0
    StrCpy $2 $0
    !insertmacro RevertModule 32 "$Folder32" "${MODULE}"
    ${If} ${RunningX64}
      !insertmacro RevertModule 64 "$Folder64" "${DECODER}"
      !insertmacro RevertModule 64 "$Folder64" "${MODULE}"
    ${EndIf}
    !insertmacro FailInstallation "The 32-bit decoder module $Folder32\${DECODER} could not be installed ($2)"
  ${EndIf}
  ; A fresh registration holds no choice: /FILMONLY writes it again.
  ${If} $FilmOnly == 1
    ${If} ${RunningX64}
      SetRegView 64
      WriteRegDWORD HKCR "CLSID\${DECODER_CLASS}" "FilmOnly" 1
      SetRegView 32
    ${EndIf}
    WriteRegDWORD HKCR "CLSID\${DECODER_CLASS}" "FilmOnly" 1
  ${EndIf}
  ${If} ${RunningX64}
    Delete /REBOOTOK "$Folder64\${MODULE}.old"
    Delete /REBOOTOK "$Folder64\${DECODER}.old"
  ${EndIf}
  Delete /REBOOTOK "$Folder32\${MODULE}.old"
  Delete /REBOOTOK "$Folder32\${DECODER}.old"

  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  ${GetSize} "$Folder32" "/S=0K" $1 $2 $3
  ${If} ${RunningX64}
  ${AndIf} "$Folder64" != "$Folder32\x64"
    ${GetSize} "$Folder64" "/S=0K" $2 $3 $4
    IntOp $1 $1 + $2
  ${EndIf}
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${TESSALY_VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${UNINSTALLER},0"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $1
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; A module that cannot be unregistered is kept: deleting it would strand a
; registration naming a missing file. A loaded one is unregistered and
; removed when Windows restarts.
!macro RemoveModule BITS DIR NAME
  ${If} ${FileExists} "${DIR}\${NAME}"
    !insertmacro UnregisterModule ${BITS} "${DIR}\${NAME}"
    ${If} $0 != 0
      DetailPrint "Unregistering ${DIR}\${NAME} failed (regsvr32 exit code $0); it stays"
      StrCpy $Failed 1
    ${Else}
      Delete /REBOOTOK "${DIR}\${NAME}"
    ${EndIf}
  ${EndIf}
  ; A folder whose module waits for the restart goes after it.
  ${If} ${FileExists} "${DIR}\${NAME}"
  ${AndIf} $Failed == 0
    RMDir /REBOOTOK "${DIR}"
  ${Else}
    RMDir "${DIR}"
  ${EndIf}
!macroend

Function un.onInit
  !insertmacro SetFolders
FunctionEnd

Section "Uninstall"
  StrCpy $Failed 0
  SetOutPath "$TEMP"
  ; The 64-bit module first: while the 32-bit one is still registered, it
  ; leaves the mapper's entry both share, and the last one out removes it.
  ; Each folder's decoder before its splitter: the folder goes with the last.
  ${If} ${RunningX64}
    !insertmacro RemoveModule 64 "$Folder64" "${DECODER}"
    !insertmacro RemoveModule 64 "$Folder64" "${MODULE}"
  ${EndIf}
  !insertmacro RemoveModule 32 "$Folder32" "${DECODER}"
  !insertmacro RemoveModule 32 "$Folder32" "${MODULE}"
  ${If} $Failed != 0
    MessageBox MB_OK|MB_ICONSTOP "A ${PRODUCT} module could not be unregistered and was kept; the uninstaller stays in $INSTDIR to try again." /SD IDOK
    SetErrorLevel 2
    Abort "Unregistering failed"
  ${EndIf}
  Delete /REBOOTOK "$INSTDIR\${UNINSTALLER}"
  RMDir /REBOOTOK "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ${If} ${RebootFlag}
    MessageBox MB_OK|MB_ICONINFORMATION "${PRODUCT} is unregistered. Files still in use by a running program are removed when Windows restarts." /SD IDOK
    DetailPrint "Files in use are removed when Windows restarts"
    SetErrorLevel 3010
  ${EndIf}
SectionEnd
