#pragma once
// Restarting Windows.

namespace platform {

// Enables the shutdown privilege of the process token; false when it cannot.
bool EnableShutdownPrivilege();

// ExitWindowsEx with EWX_REBOOT | EWX_FORCEIFHUNG and the reason "application,
// maintenance"; false when Windows refused.
bool ExitWindowsForRestart();

}  // namespace platform
