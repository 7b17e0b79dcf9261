#pragma once
// Control of the stand-in Windows for tests: set the machine up, then look at what
// the program did to it. Only test binaries include this header.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/process_setup.h"
#include "platform/registry.h"
#include "platform/tray.h"

namespace standin {

// A fresh machine: no drives, no environment, clock at its start value, one window
// that shows and quits after one frame, and an empty journal.
void Reset();

// The notable platform calls in order, e.g. "AcquireInstanceMutex", "Sleep 120",
// "Present vsync=1", "MakeDirectories C:\KestruneAV".
std::vector<std::string> Journal();
// Index of the first journal entry that starts with the prefix, or -1.
int JournalIndex(const std::string& prefix);

// Files: the drive letter's root is the host folder.
void MapDrive(wchar_t letter, const std::string& host_folder);
// The host path a Windows path maps to ("" when its drive is not mapped).
std::string HostPath(const std::wstring& windows_path);
// Existence tests of this exact path fail with the Win32 error code.
void FailPath(const std::wstring& windows_path, uint32_t error_code);

// Relative paths are taken from this folder (a Windows path).
void SetCurrentFolder(const std::wstring& folder);

// Files the signature check accepts.
void MarkSigned(const std::wstring& windows_path);

// Registry: values in enumeration order; a read-only hive refuses deletions and writes.
void SetRegistryValue(platform::RegistryHive hive, const std::wstring& key, const std::wstring& name, uint32_t type,
                      const std::string& data);
void SetRegistryString(platform::RegistryHive hive, const std::wstring& key, const std::wstring& name,
                       const std::wstring& text);
std::vector<std::wstring> RegistryValueNames(platform::RegistryHive hive, const std::wstring& key);
void SetHiveReadOnly(platform::RegistryHive hive, bool read_only);

// What console programs wrote to standard output.
std::wstring ConsoleOutput();

// Environment.
void SetEnvironment(const std::wstring& name, const std::wstring& value);

// Clock: virtual milliseconds; every sleep moves the clock forward at once.
uint64_t Now();
void AdvanceClock(uint64_t ms);
// Durations of every sleep so far, in order.
std::vector<uint64_t> Sleeps();
// Called after each sleep with its duration (for instance to clear AppRunning).
void OnSleep(std::function<void(uint64_t)> hook);

// Processor query.
void SetCpuQueryWorks(bool works);
void SetCpuPercent(double percent);
int CpuCollections();

// Windows version.
void SetOs(uint32_t build, bool workstation);

// Result of the single-instance mutex.
void SetInstanceLock(platform::InstanceLock result);

// Lines sent to the debug channel.
std::vector<std::wstring> DebugLines();

// Threads are recorded, not run; a test runs a body itself when it wants to.
struct StartedThread {
  std::wstring name;
  std::function<void()> body;
};
std::vector<StartedThread> StartedThreads();

// The window: whether it and the devices can be had, how many loop turns pass
// before WM_QUIT arrives, and whether it is shown on a given turn (0-based).
void SetWindowWorks(bool works);
void SetDevices(bool hardware_works, bool warp_works);
void SetQuitAfterTurns(int turns);
void SetShownOnTurn(std::function<bool(int turn)> shown);
// Presentations so far, in order: true for those synchronised to vertical blank.
std::vector<bool> Presents();

// Tray and window events.
bool TrayIconShown();
std::vector<std::pair<std::wstring, std::wstring>> Balloons();
bool WindowVisible();
// Hands an event to the program's handler, as the window procedure does.
void SendGuiEvent(platform::GuiEvent event);

// GPU counter of the processor query.
void SetGpuPercent(double percent);

// Dialog answers: the folder the picker returns ("" for cancel), then Yes or No.
void QueueFolderPick(const std::wstring& folder);
void QueueYesNoAnswer(bool yes);
std::vector<std::wstring> Questions();

}  // namespace standin
