; The Windows installer: pinvale.exe under Program Files, a Start-menu shortcut for
; every user, and an entry in the installed-programs list whose uninstaller removes
; all of it again. Built by packaging/windows/CMakeLists.txt with
;   makensis -DVERSION=1.1 -DVERSION4=1.1.0.0 -DEXE=pinvale.exe -DICON=pinvale.ico
;            -DOUTFILE=pinvale-1.1-setup.exe pinvale.nsi
; /S installs (and uninstall.exe /S uninstalls) without a window.

; A 64-bit installer for a 64-bit program: it sees the 64-bit Program Files and
; registry by itself, and it runs under a Wine without 32-bit support.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!include "MUI2.nsh"
!include "FileFunc.nsh"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Pinvale"
!define PUBLISHER "the Pinvale authors"

Name "Pinvale ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Pinvale"
BrandingText "Pinvale ${VERSION}"

VIProductVersion "${VERSION4}"
VIAddVersionKey "ProductName" "Pinvale"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "Pinvale ${VERSION} setup"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "LegalCopyright" "Copyright (c) 2026 ${PUBLISHER}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; The shortcut is for every user of the machine.
Function .onInit
  SetShellVarContext all
FunctionEnd

Function un.onInit
  SetShellVarContext all
FunctionEnd

Section "Pinvale"
  SetOutPath "$INSTDIR"
  File "/oname=pinvale.exe" "${EXE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\Pinvale.lnk" "$INSTDIR\pinvale.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Pinvale"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\pinvale.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Uninstall"
  Delete "$INSTDIR\pinvale.exe"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Pinvale.lnk"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
