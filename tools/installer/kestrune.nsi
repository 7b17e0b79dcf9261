; The Windows installer of Kestrune AV, built by makensis from Debian's nsis package.
; makensis -DBIN_DIR=<folder with the programs> -DOUT_FILE=<setup.exe> kestrune.nsi
;
; Installs KestruneAV.exe and KestruneScan.exe under Program Files, the Start-menu
; and desktop shortcuts "Kestrune AV.lnk", and the "Apps & features" entry. /S
; installs and uninstalls silently. The uninstaller ends a running instance first,
; removes the programs, their shortcuts and the logon start, and keeps the data
; folder (quarantine, snapshots, lists) unless asked: a question when run by hand,
; /REMOVEDATA when silent.

; A 64-bit installer: the programs are 64-bit, and so is Wine here.
Target amd64-unicode
!include "FileFunc.nsh"
!insertmacro un.GetParameters
!insertmacro un.GetOptions

!define PRODUCT "Kestrune AV"
!define VERSION "2.0.0"
!define PUBLISHER "Kestrune"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\KestruneAV"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define PINNED "Microsoft\Internet Explorer\Quick Launch\User Pinned\TaskBar"

Name "${PRODUCT}"
OutFile "${OUT_FILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ShowInstDetails show
ShowUninstDetails show

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
  SetRegView 64
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

Section "Kestrune AV"
  ; A running instance holds its program file open.
  nsExec::Exec '"$SYSDIR\taskkill.exe" /F /IM KestruneAV.exe'
  SetOutPath "$INSTDIR"
  File "${BIN_DIR}\KestruneAV.exe"
  File "${BIN_DIR}\KestruneScan.exe"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The user's own Start menu and desktop: the program stamps and pins these.
  SetShellVarContext current
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\KestruneAV.exe" "" "$INSTDIR\KestruneAV.exe" 0
  CreateShortcut "$DESKTOP\${PRODUCT}.lnk" "$INSTDIR\KestruneAV.exe" "" "$INSTDIR\KestruneAV.exe" 0

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\KestruneAV.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  ; The program hides to the tray instead of closing, so it is ended.
  nsExec::Exec '"$SYSDIR\taskkill.exe" /F /IM KestruneAV.exe'
  Sleep 1000
  Delete "$INSTDIR\KestruneAV.exe"
  Delete "$INSTDIR\KestruneScan.exe"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  SetShellVarContext current
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  Delete "$DESKTOP\${PRODUCT}.lnk"
  Delete "$APPDATA\${PINNED}\${PRODUCT}.lnk"
  SetShellVarContext all
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"  ; the all-users copy an elevated run stamps
  DeleteRegValue HKCU "${RUN_KEY}" "KestruneAV"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"

  ; The data folder holds what the user may still want back: kept unless asked.
  ${un.GetParameters} $R0
  ClearErrors
  ${un.GetOptions} $R0 "/REMOVEDATA" $R1
  IfErrors 0 remove_data
  IfSilent keep_data
  MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 \
    "Also remove the quarantine, snapshots and lists in $APPDATA\KestruneAV?" IDNO keep_data
  remove_data:
    RMDir /r "$APPDATA\KestruneAV"
  keep_data:
SectionEnd
