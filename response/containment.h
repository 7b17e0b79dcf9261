#pragma once
// Containment: what a detected threat may still do while the program deals with it.
#include <atomic>
#include <cstdint>
#include <string>

// True while the Wi-Fi hold is in force; only the first hold acts, one release undoes it.
// Written only under the hold's lock, together with the profile and the netsh calls.
extern std::atomic<bool> WifiHeld;

// Disconnects the wireless connection (WLAN API, then netsh) and remembers its profile.
// Hold and release are serialised: a release waits for a hold's disconnect to finish.
void HoldWifi();

// Reconnects the remembered profile through netsh.
void ReleaseWifi();

// The profile that was connected when the hold in force was taken ("" when none is in
// force or it could not be read).
std::wstring HeldWifiProfile();

// Runs the system's netsh.exe hidden with the arguments and waits for it at most 8 s.
void RunNetsh(const std::wstring& arguments);

// Ends a process unless it is this program or a critical one, and only while its image
// is still the one it had when asked (a reused id is left alone); true when ended.
bool StopProcess(uint32_t pid, const std::wstring& reason);

// The same for a process judged by its image: ended only while it still runs that image.
bool StopProcessWithImage(uint32_t pid, const std::wstring& image, const std::wstring& reason);

// Ends every running process whose image is the flagged file itself, a byte-identical
// copy of it (same SHA-256 as flagged_hash, or the file's own when that is empty), or a
// same-named file that no longer exists; never a critical one, never another
// program that merely shares the name.
void StopProcessesOfImage(const std::wstring& path, const std::wstring& flagged_hash = L"");

// The file name of a process's image, or "<unknown>".
std::wstring ProcessNameOf(uint32_t pid);
