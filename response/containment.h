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

// Ends a process unless it is this program or a critical one; true when it was ended.
bool StopProcess(uint32_t pid, const std::wstring& reason);

// Ends every running process whose image name is the file's name (unless critical).
void StopProcessesOfImage(const std::wstring& path);

// The file name of a process's image, or "<unknown>".
std::wstring ProcessNameOf(uint32_t pid);
