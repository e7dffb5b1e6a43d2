; tessaly-setup.exe: installs the 32-bit TESSALY.AX on every Windows and the
; 64-bit one beside it on 64-bit Windows, each into the program-files folder
; of its bitness and registered with the regsvr32 of its bitness; records an
; uninstaller that takes both out again. Silent with /S. Built by
; scripts/installer.sh, which defines VERSION_NSH, MODULE_X86, MODULE_X64
; and OUTFILE.
Unicode true
!include "${VERSION_NSH}"
!include LogicLib.nsh
!include x64.nsh

!define PRODUCT "Tessaly Parser"
!define PRODUCT_FOLDER "Tessaly"
!define MODULE "TESSALY.AX"
!define UNINSTALLER "uninstall.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tessaly"

Name "${PRODUCT} ${TESSALY_VERSION}"
OutFile "${OUTFILE}"
RequestExecutionLevel admin
; The uninstaller lives beside the 32-bit module, which every Windows gets.
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

!macro RemoveModule BITS DIR
  ${If} ${FileExists} "${DIR}\${MODULE}"
    !insertmacro RunRegsvr32 ${BITS} '/u "${DIR}\${MODULE}"'
    ${If} $0 != 0
      DetailPrint "Unregistering ${DIR}\${MODULE} failed (regsvr32 exit code $0)"
    ${EndIf}
    Delete "${DIR}\${MODULE}"
  ${EndIf}
  RMDir "${DIR}"
!macroend

; The 64-bit module first: while the 32-bit one is still registered, it
; leaves the mapper's entry both share, and the last one out removes it.
!macro RemoveBothModules
  ${If} ${RunningX64}
    !insertmacro RemoveModule 64 "$PROGRAMFILES64\${PRODUCT_FOLDER}"
  ${EndIf}
  !insertmacro RemoveModule 32 "$PROGRAMFILES32\${PRODUCT_FOLDER}"
!macroend

; A module that does not register leaves no player able to use it: the
; installation stops there with a clear message and exit code 2, and takes
; both modules out again, so that no registration names a missing file.
!macro InstallModule BITS SOURCE DIR
  SetOutPath "${DIR}"
  File "/oname=${MODULE}" "${SOURCE}"
  !insertmacro RunRegsvr32 ${BITS} '"${DIR}\${MODULE}"'
  ${If} $0 != 0
    MessageBox MB_OK|MB_ICONSTOP "The ${BITS}-bit ${PRODUCT} module ${DIR}\${MODULE} could not be registered (regsvr32 exit code $0). The installation stops here." /SD IDOK
    SetOutPath "$TEMP"
    !insertmacro RemoveBothModules
    SetErrorLevel 2
    Abort "Registering ${DIR}\${MODULE} failed (regsvr32 exit code $0)"
  ${EndIf}
  DetailPrint "Registered ${DIR}\${MODULE}"
!macroend

Section "${PRODUCT}"
  SetOverwrite on
  ; Registering again replaces the earlier registration, so installing over
  ; an installation keeps exactly one.
  ${If} ${RunningX64}
    !insertmacro InstallModule 64 "${MODULE_X64}" "$PROGRAMFILES64\${PRODUCT_FOLDER}"
  ${EndIf}
  !insertmacro InstallModule 32 "${MODULE_X86}" "$PROGRAMFILES32\${PRODUCT_FOLDER}"

  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${TESSALY_VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  Delete "$INSTDIR\${UNINSTALLER}"
  !insertmacro RemoveBothModules
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
