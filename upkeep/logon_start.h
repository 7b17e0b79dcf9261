#pragma once
// The program's own start at logon (one per-user Run value, older start entries
// removed) and the launch of its companion updater.
#include <string>

// The Run value's data for the program at that path: the quoted path, a blank and "/background".
std::wstring LogonStartCommand(const std::wstring& program_path);

// The start-up step "startup": writes HKCU ...\Run "KestruneAV", removes the
// machine-wide value and the "Kestrune AV.lnk" shortcuts of both Startup folders.
void RegisterLogonStart();

// The start-up step "updater" and "Check for updates": starts KestruneUpdater.exe
// (else updater.exe) from the program's folder with "/watch", hidden, without
// waiting for it; reports when none is there or it cannot be started.
void LaunchUpdater();
