#pragma once
// The official Windows repair tools, started from the system folder with their
// output in the activity log, the admin extended scan that runs them when the boot
// files look incomplete, and the restart into Windows Recovery. The system never
// repairs Windows itself.
#include <cstdint>
#include <string>

// How long a tool may run before it is ended: SFC and DISM can take an hour on a
// slow disk, a tool still running after two is taken to hang.
constexpr uint64_t kOfficialToolTimeLimitMs = 2ull * 60 * 60 * 1000;

// Runs the tool from the system folder hidden, its output in the activity log (the
// last 400 bytes each time more than 400 have gathered), and logs its exit code.
// Admin mode only. True when it ran and ended with exit code 0.
bool RunOfficialTool(const std::wstring& tool, const std::wstring& arguments, const std::wstring& display_name);

// The admin-mode steps of every quick and deep scan, then the official repairs when
// the core boot files look incomplete.
void RunAdminExtendedScan();

// The body of "winre": asks, then schedules a restart into Windows Recovery (admin mode only).
void OpenWindowsRecovery();
