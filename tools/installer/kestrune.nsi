; The Windows installer of Kestrune AV, built by makensis from Debian's nsis package.
; makensis -DBIN_DIR=<folder with the programs> -DOUT_FILE=<setup.exe> kestrune.nsi
;
; Installs KestruneAV.exe and KestruneScan.exe under Program Files, the Start-menu
; and desktop shortcuts "Kestrune AV.lnk", the "Apps & features" entry and
; Explorer's "Scan with Kestrune AV" for files and folders. /S
; installs and uninstalls silently. The uninstaller ends a running instance first,
; removes the programs, their shortcuts and the logon start, and keeps the data
; folders (quarantine, snapshots, lists) unless asked: a question when run by hand,
; /REMOVEDATA when silent.
;
; The elevated program keeps its data in C:\ProgramData\KestruneAV, a folder the
; installer makes itself, for SYSTEM and Administrators alone: ProgramData lets any
; account make a folder or plant a link there first. An unelevated run keeps its data
; in the user's own %LOCALAPPDATA%\KestruneAV.

; A 64-bit installer: the programs are 64-bit, and so is Wine here.
Target amd64-unicode
!include "FileFunc.nsh"
!insertmacro un.GetParameters
!insertmacro un.GetOptions
!include "LogicLib.nsh"

!define PRODUCT "Kestrune AV"
!define VERSION "2.0.0"
!define PUBLISHER "Kestrune"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\KestruneAV"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define PINNED "Microsoft\Internet Explorer\Quick Launch\User Pinned\TaskBar"
!define DATA_NAME "KestruneAV"
; Explorer's verb on files and on folders, for every account.
!define FILE_VERB_KEY "Software\Classes\*\shell\KestruneScan"
!define FOLDER_VERB_KEY "Software\Classes\Directory\shell\KestruneScan"
; Owner Administrators; full control for SYSTEM and Administrators, inherited by every
; file and folder inside, and nothing for anybody else; protected from ProgramData's list.
!define DATA_SDDL "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"

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

; Renames what stands at the path on the stack to "<path>.moved-<number>" beside it;
; a link is renamed itself (MoveFileExW never follows the last part of a path), so
; nothing it points to is touched. Sets the error flag when nothing could be moved.
Function MoveAside
  Exch $0
  Push $1
  Push $2
  Push $3
  Push $4
  Push $5
  ; Where this system cannot open a link as itself (Wine follows Unix symbolic links),
  ; the rename would move what the link points to: refused then, nothing is moved.
  System::Call 'kernel32::CreateFileW(w r0, i 0x80, i 7, p 0, i 3, i 0x02200000, p 0) p .r1'
  ${If} $1 <> -1
    System::Call 'kernel32::GetFinalPathNameByHandleW(p r1, w .r3, i ${NSIS_MAX_STRLEN}, i 0) i .r4'
    System::Call 'kernel32::CloseHandle(p r1)'
    ${If} $3 != "\\?\$0"
      DetailPrint "Could not move aside $0, a link that could not be opened as itself"
      SetErrors
      Goto done
    ${EndIf}
  ${EndIf}
  ; A number nobody can foresee: a planted "KestruneAV.moved-1" only costs one try.
  System::Call 'kernel32::GetTickCount() i .r1'
  IntOp $1 $1 & 0x7FFFFFFF
  StrCpy $5 0
  ${Do}
    StrCpy $2 "$0.moved-$1"
    System::Call 'kernel32::MoveFileExW(w r0, w r2, i 0) i .r3 ?e'
    Pop $4
    ${If} $3 <> 0
      DetailPrint "Moved aside what stood at the data folder's path: $2"
      ${Break}
    ${EndIf}
    IntOp $5 $5 + 1
    ; 183 ERROR_ALREADY_EXISTS, 80 ERROR_FILE_EXISTS: that name is taken, try another.
    StrCpy $3 "stop"
    ${If} $4 = 183
    ${OrIf} $4 = 80
      ${IfThen} $5 < 20 ${|} StrCpy $3 "next" ${|}
    ${EndIf}
    ${If} $3 == "stop"
      DetailPrint "Could not move aside $0 (error $4)"
      SetErrors
      ${Break}
    ${EndIf}
    IntOp $1 $1 + 1
  ${Loop}
  done:
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; Makes the data folder with its access list in the same call, so that there is no
; moment at which another account could open it. Whatever stands at that path is not
; trusted, whoever made it: a link, a folder another account made first, or the
; folder of an earlier install is moved aside and a fresh folder made. Sets the error
; flag when the folder could not be made.
Function MakeDataFolder
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  Push $5
  Push $6
  SetShellVarContext all  ; $APPDATA is now ProgramData
  StrCpy $0 "$APPDATA\${DATA_NAME}"
  StrCpy $5 "failed"
  System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w "${DATA_SDDL}", i 1, *p .r1, p 0) i .r2'
  ${If} $2 <> 0
    ; SECURITY_ATTRIBUTES: nLength, padding, lpSecurityDescriptor, bInheritHandle, padding
    System::Call '*(i 24, i 0, p r1, i 0, i 0) p .r3'
    ${For} $4 1 3
      System::Call 'kernel32::CreateDirectoryW(w r0, p r3) i .r2 ?e'
      Pop $6
      ${If} $2 <> 0
        StrCpy $5 "made"
        ${Break}
      ${EndIf}
      ${IfThen} $6 <> 183 ${|} ${Break} ${|}  ; 183 ERROR_ALREADY_EXISTS: something stands there
      ClearErrors
      Push $0
      Call MoveAside
      ${IfThen} ${Errors} ${|} ${Break} ${|}
    ${Next}
    System::Free $3
    System::Call 'kernel32::LocalFree(p r1)'
  ${EndIf}
  ClearErrors
  ${If} $5 == "made"
    DetailPrint "Data folder made for SYSTEM and Administrators only: $0"
  ${Else}
    DetailPrint "Could not make the data folder $0"
    SetErrors
  ${EndIf}
  Pop $6
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; Sets $0 to 1 when the install folder is inside Program Files, which only
; administrators may change, else to 0. Checked on the full path, so that a ".."
; cannot lead out of it.
Function InstallDirIsProtected
  Push $1
  Push $2
  Push $3
  StrCpy $0 0
  System::Call 'kernel32::GetFullPathNameW(w "$INSTDIR", i ${NSIS_MAX_STRLEN}, w .r1, p 0) i .r2'
  ${If} $2 <> 0
    StrLen $3 "$PROGRAMFILES64\"
    StrCpy $2 $1 $3
    ${IfThen} $2 == "$PROGRAMFILES64\" ${|} StrCpy $0 1 ${|}  ; == ignores case, as paths do
  ${EndIf}
  Pop $3
  Pop $2
  Pop $1
FunctionEnd

; The verb under the key given: caption, the program's icon, and the command. Every
; account's Explorer runs that command as that account, so it names the installed
; scanner by its full path (a plain string: no variable an account could set, no
; search of its PATH), and the selected path comes last and quoted: a name with
; spaces stays one argument, and Windows names hold no quotes.
!macro WriteScanVerb KEY
  WriteRegStr HKLM "${KEY}" "" "Scan with Kestrune AV"
  WriteRegStr HKLM "${KEY}" "Icon" "$INSTDIR\KestruneAV.exe,0"
  WriteRegStr HKLM "${KEY}\command" "" '"$INSTDIR\KestruneScan.exe" --pause "%1"'
!macroend

Section "Kestrune AV"
  ; A running instance holds its program file open, and files in its data folder.
  nsExec::Exec '"$SYSDIR\taskkill.exe" /F /IM KestruneAV.exe'
  Call MakeDataFolder
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "Setup could not make the data folder $APPDATA\${DATA_NAME}." /SD IDOK
    Abort
  ${EndIf}
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

  ; Installed anywhere an account could replace the scanner, the verb would have
  ; every other account, administrators too, run that account's program.
  Push $0
  Call InstallDirIsProtected
  ${If} $0 = 1
    !insertmacro WriteScanVerb "${FILE_VERB_KEY}"
    !insertmacro WriteScanVerb "${FOLDER_VERB_KEY}"
  ${Else}
    DetailPrint "Not registered in Explorer: $INSTDIR is outside Program Files"
  ${EndIf}
  Pop $0
SectionEnd

Var RemovalFailed

; Opens the entry at the path on the stack as itself (FILE_FLAG_OPEN_REPARSE_POINT,
; a link is not followed) with the access below it, and makes sure the handle really
; is at that path: where a system opens through a link anyway (Wine follows Unix
; symbolic links, even to a file, and would then delete what they point to), the
; entry is left alone. Leaves the handle, or -1, on the stack.
Function un.OpenEntry
  Exch $0
  Exch
  Exch $1
  Push $2
  Push $3
  ; shared with all, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT
  System::Call 'kernel32::CreateFileW(w r0, i r1, i 7, p 0, i 3, i 0x02200000, p 0) p .r2'
  ${If} $2 <> -1
    System::Call 'kernel32::GetFinalPathNameByHandleW(p r2, w .r3, i ${NSIS_MAX_STRLEN}, i 0) i .r1'
    ${If} $3 != "\\?\$0"
      System::Call 'kernel32::CloseHandle(p r2)'
      DetailPrint "Left as it is, a link that could not be opened as itself: $0"
      StrCpy $2 -1
    ${EndIf}
  ${EndIf}
  StrCpy $0 $2
  Pop $3
  Pop $2
  Pop $1
  Exch $0
FunctionEnd

; The attributes of the entry whose handle is on the stack, or -1.
Function un.HandleAttributes
  Exch $0
  Push $1
  Push $2
  System::Alloc 52  ; BY_HANDLE_FILE_INFORMATION, dwFileAttributes first
  Pop $1
  System::Call 'kernel32::GetFileInformationByHandle(p r0, p r1) i .r2'
  StrCpy $0 -1
  ${If} $2 <> 0
    System::Call '*$1(i .r0)'
  ${EndIf}
  System::Free $1
  Pop $2
  Pop $1
  Exch $0
FunctionEnd

; Removes the entry at the path on the stack and, for a real folder, everything in
; it. A link (junction or symbolic link, to a folder or to a file) is removed itself
; and never entered, so what it points to stays as it was. Each entry is opened as
; itself, checked through that handle (what it is, and that it really is at that
; path) and deleted through a handle checked the same way: a folder swapped for a
; link while its entries are listed leads only to entries that fail that check.
; RMDir /r is not used: it enters every entry that has the folder attribute, links
; included.
Function un.RemoveEntry
  Exch $0
  Push $1
  Push $2
  Push $3
  Push $4
  Push $5
  System::Call 'kernel32::GetFileAttributesW(w r0) i .r2'  ; the entry itself, not what it points to
  ${If} $2 = -1
    Goto done  ; nothing there
  ${EndIf}
  Push 0x80  ; FILE_READ_ATTRIBUTES
  Push $0
  Call un.OpenEntry
  Pop $1
  ${If} $1 = -1
    StrCpy $RemovalFailed 1
    Goto done
  ${EndIf}
  Push $1
  Call un.HandleAttributes
  Pop $5
  System::Call 'kernel32::CloseHandle(p r1)'
  ${If} $5 = -1
    StrCpy $5 0x400  ; not known: never entered
  ${EndIf}
  IntOp $2 $2 | $5  ; a link by either account is a link
  IntOp $5 $2 & 0x410  ; FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY
  ${If} $5 = 0x10  ; a real folder: its entries go first
    FindFirst $3 $4 "$0\*"
    ${DoWhile} $4 != ""
      ${If} $4 != "."
      ${AndIf} $4 != ".."
        Push "$0\$4"
        Call un.RemoveEntry
      ${EndIf}
      FindNext $3 $4
    ${Loop}
    FindClose $3
  ${EndIf}
  Push 0x10180  ; DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES
  Push $0
  Call un.OpenEntry
  Pop $1
  ${If} $1 = -1
    StrCpy $RemovalFailed 1
    Goto done
  ${EndIf}
  Push $1
  Call un.HandleAttributes
  Pop $2
  IntOp $5 $2 & 0x401  ; read-only, and not a link
  ${If} $2 <> -1
  ${AndIf} $5 = 1
    IntOp $5 $2 & 0xFFFFFFFE
    ${IfThen} $5 = 0 ${|} StrCpy $5 0x80 ${|}  ; FILE_ATTRIBUTE_NORMAL: 0 would mean "unchanged"
    System::Call '*(l 0, l 0, l 0, l 0, i r5, i 0) p .r3'  ; FILE_BASIC_INFO, times unchanged
    System::Call 'kernel32::SetFileInformationByHandle(p r1, i 0, p r3, i 40)'
    System::Free $3
  ${EndIf}
  ; FileDispositionInfo: the entry opened above, and no other, goes when the handle closes.
  System::Call 'kernel32::SetFileInformationByHandle(p r1, i 4, *i 1, i 4) i .r5'
  System::Call 'kernel32::CloseHandle(p r1)'
  ${If} $5 = 0
    DetailPrint "Could not remove $0"
    StrCpy $RemovalFailed 1
  ${EndIf}
  done:
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

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
  DeleteRegKey HKLM "${FILE_VERB_KEY}"
  DeleteRegKey HKLM "${FOLDER_VERB_KEY}"

  ; The data folders hold what the user may still want back: kept unless asked. The
  ; elevated program's is in ProgramData, an unelevated run's in the user's own
  ; local AppData.
  SetShellVarContext all
  StrCpy $R2 "$APPDATA\${DATA_NAME}"
  SetShellVarContext current
  StrCpy $R3 "$LOCALAPPDATA\${DATA_NAME}"
  ${un.GetParameters} $R0
  ClearErrors
  ${un.GetOptions} $R0 "/REMOVEDATA" $R1
  IfErrors 0 remove_data
  IfSilent keep_data
  MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 \
    "Also remove the quarantine, snapshots and lists in $R2 and in $R3?" IDNO keep_data
  remove_data:
    StrCpy $RemovalFailed 0
    Push $R2
    Call un.RemoveEntry
    Push $R3
    Call un.RemoveEntry
    ${If} $RemovalFailed = 1
      DetailPrint "Some of the data could not be removed."
    ${EndIf}
  keep_data:
SectionEnd
