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
// (else updater.exe; a folder of that name is passed over) from the program's folder
// with "/watch", hidden, without waiting for it, and only when the folder and the
// file are regular, not links, and only SYSTEM, Administrators and TrustedInstaller
// may change them; reports when none is there, when it is not trusted, or when it
// cannot be started.
void LaunchUpdater();
