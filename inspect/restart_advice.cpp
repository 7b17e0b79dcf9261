#include "inspect/restart_advice.h"

#include "app/activity_log.h"
#include "app/scan_state.h"
#include "platform/files.h"
#include "platform/processes.h"
#include "platform/restart.h"

bool CoreBootFilesPresent() {
  for (const wchar_t* core : {L"C:\\Windows\\System32\\ntoskrnl.exe", L"C:\\Windows\\System32\\drivers\\ntfs.sys",
                              L"C:\\Windows\\System32\\drivers\\disk.sys"}) {
    if (!platform::PathExists(core)) return false;
  }
  return platform::PathExists(L"C:\\Windows\\System32\\winload.exe") ||
         platform::PathExists(L"C:\\Windows\\System32\\winload.efi");
}

void AdviseRestart() {
  const bool intact = CoreBootFilesPresent();
  BootFilesIntact.store(intact);
  // The card is raised either way: with incomplete boot files it leads to Windows
  // Recovery instead of a restart that might not come back.
  RestartPromptPending.store(true);
  if (intact) {
    AppendActivity(L"[RESTART] Removal finished. Boot files look intact \u2014 a restart can finish cleanup.");
  } else {
    AppendActivity(L"[RESTART] Boot files look incomplete. Do not rely on a normal restart. Use Windows Recovery.");
  }
}

void RestartNow() {
  platform::EnableShutdownPrivilege();
  if (platform::ExitWindowsForRestart()) return;
  // Only the system folder's own shutdown.exe: no shell or search path picks it.
  const std::wstring system = platform::SystemFolder();
  if (system.empty()) return;
  const std::wstring shutdown = system + L"\\shutdown.exe";
  platform::StartProgram(shutdown, L"\"" + shutdown + L"\" /r /t 0 /f", system, platform::ProgramWindow::Hidden);
}
