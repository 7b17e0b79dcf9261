#include "platform/restart.h"

#include <windows.h>
#include <reason.h>

#include "platform/win32/handles.h"

namespace platform {

bool EnableShutdownPrivilege() {
  HANDLE raw_token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &raw_token)) return false;
  const win32::UniqueHandle token(raw_token);
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (!LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &privileges.Privileges[0].Luid)) return false;
  // AdjustTokenPrivileges succeeds even when the token lacks the privilege; only
  // the last error then tells that nothing was enabled.
  if (!AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr)) return false;
  return GetLastError() != ERROR_NOT_ALL_ASSIGNED;
}

bool ExitWindowsForRestart() {
  return ExitWindowsEx(EWX_REBOOT | EWX_FORCEIFHUNG, SHTDN_REASON_MAJOR_APPLICATION | SHTDN_REASON_MINOR_MAINTENANCE) !=
         0;
}

}  // namespace platform
