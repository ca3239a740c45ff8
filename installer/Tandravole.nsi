; The installer of the plug-in: puts Tandravole.dll into Program Files, registers it (the
; player then lists it among its interface plug-ins) and leaves an uninstaller that
; unregisters and removes it. The plug-in is 64-bit and so is the installer (it starts only on
; a 64-bit Windows, where it sees the 64-bit registry, Program Files and regsvr32).
;
;   makensis -DVERSION=4.0.0 -DDLL=path/Tandravole.dll -DOUTFILE=Tandravole-Setup-4.0.0.exe \
;            installer/Tandravole.nsi
Unicode True
Target amd64-unicode
!include "LogicLib.nsh"
!include "MUI2.nsh"

!ifndef VERSION
  !error "VERSION must be given (-DVERSION=x.y.z)"
!endif
!ifndef DLL
  !error "DLL must name the plug-in's Tandravole.dll (-DDLL=path)"
!endif
!ifndef OUTFILE
  !define OUTFILE "Tandravole-Setup-${VERSION}.exe"
!endif

!define PRODUCT "Tandravole 4 MediaCenter"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tandravole4MediaCenter"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Tandravole\MediaCenter"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "CompanyName" "Carvelin Software"
VIAddVersionKey "LegalCopyright" "Copyright (C) 2026 Carvelin Software"

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "Plug-in"
  SetOutPath "$INSTDIR"
  File "/oname=Tandravole.dll" "${DLL}"
  ; Registration fails when no installation of the player is found: nothing is left behind.
  ExecWait '"$SYSDIR\regsvr32.exe" /s "$INSTDIR\Tandravole.dll"' $0
  ${If} $0 != 0
    Delete "$INSTDIR\Tandravole.dll"
    RMDir "$INSTDIR"
    RMDir "$PROGRAMFILES64\Tandravole"
    MessageBox MB_OK|MB_ICONSTOP "The plug-in could not be registered (regsvr32 ended with $0). Is JRiver Media Center installed? Registering also needs administrator rights." /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Carvelin Software"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  ExecWait '"$SYSDIR\regsvr32.exe" /s /u "$INSTDIR\Tandravole.dll"'
  ; A player that still has the plug-in loaded keeps the file until the next start.
  Delete /REBOOTOK "$INSTDIR\Tandravole.dll"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  RMDir "$PROGRAMFILES64\Tandravole"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
