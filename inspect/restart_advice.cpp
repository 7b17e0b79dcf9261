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
  const std::wstring system = platform::SystemFolder();
  if (platform::StartHidden(L"\"" + system + L"\\shutdown.exe\" /r /t 0 /f", system)) return;
  platform::ShellOpenHidden(L"shutdown.exe", L"/r /t 0 /f", system);
}
