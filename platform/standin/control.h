#pragma once
// Control of the stand-in Windows for tests: set the machine up, then look at what
// the program did to it. Only test binaries include this header.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/process_setup.h"
#include "platform/registry.h"
#include "platform/shell_folders.h"
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

// A drive that went away (a stick pulled out): its letter and files are gone.
void UnmapDrive(wchar_t letter);
// The drive's type as GetDriveTypeW gives it (fixed unless set) and whether its
// volume answers (ready unless set).
void SetDriveType(wchar_t letter, uint32_t type);
void SetDriveReady(wchar_t letter, bool ready);
// Free and total bytes of a drive's volume (400 GiB free of 1 TiB unless set).
void SetFreeSpace(wchar_t letter, uint64_t free_bytes, uint64_t total_bytes);
// Another program holds the file: the lock probe fails with the code (32 sharing
// violation, 33 lock violation); ordinary shared reads still work.
void HoldFile(const std::wstring& windows_path, uint32_t error_code);
// A full disk under the prefix: writes create or truncate the file, then fail.
void FailWritesUnder(const std::wstring& windows_prefix);
// Listing the folder hands over the first entries, then fails with the code; with
// none first, the folder cannot be listed at all (3 for a folder gone meanwhile, 206
// for a path the file system will not take, 64 for a dropped share).
void FailListing(const std::wstring& windows_folder, std::size_t after_entries, uint32_t error_code);
// A filter on the find interface (a user-mode rootkit): the find listing of the
// file's folder leaves the file out; the standard library's listing still shows it.
void HideFromFindListing(const std::wstring& windows_path);
// The standard library's listing of the folder hands over this many entries, then
// fails while advancing.
void FailLibraryListing(const std::wstring& windows_folder, std::size_t after_entries);
// The native directory query of the folder hands over this many entries, then fails
// with the code (0 entries: the folder cannot be opened).
void FailNativeListing(const std::wstring& windows_folder, std::size_t after_entries, uint32_t error_code);
// Runs the hook each time the native directory query lists the folder: with 0 before
// the folder is read, then with the count handed over after each entry the visitor
// kept going on, so that a test can change the folder or stop a scan between entries.
void OnNativeListing(const std::wstring& windows_folder, std::function<void(std::size_t handed)> hook);
// Whether the file carries the read-only attribute.
bool IsReadOnly(const std::wstring& windows_path);
// A file system that keeps no access lists (MakeGuardedFolder answers NotGuarded).
// Symbolic links made in the host folder stand for Windows links.
void MakeFolderUnguardable(const std::wstring& windows_folder);
// Who owns a file or folder and who its list lets in, by account name ("SYSTEM",
// "Administrators", "user" for the one who runs the program, any other name for
// another account). A path with no record counts as made by the program itself.
struct PathSecurity {
  std::wstring owner;
  std::vector<std::wstring> grantees;
};
void SetPathSecurity(const std::wstring& windows_path, const PathSecurity& security);
// The record of a path; false when it has none.
bool PathSecurityOf(const std::wstring& windows_path, PathSecurity& security);
// Whether the folder is kept open without delete sharing (it cannot be renamed).
bool IsFolderHeld(const std::wstring& windows_folder);
// Other accounts may change the file or folder (its owner or access list lets them):
// the write-trust checks answer OthersMayWrite. Everything else is the administrators'.
void MarkWritableByOthers(const std::wstring& windows_path);
// Reading the file fails once this many bytes have been read (a medium pulled out).
void FailReadsAfter(const std::wstring& windows_path, uint64_t bytes);
// The next read of the file runs the action after its first chunk came in and before
// the program sees it, as another program writing the file while it is judged would;
// an action that throws makes that read throw (memory running out mid-read).
void OnNextRead(const std::wstring& windows_path, std::function<void()> action);
// How often the program opened the file (reads, lock probes, copies, signature
// checks) and how many bytes it read from it.
int OpensOf(const std::wstring& windows_path);
uint64_t BytesReadOf(const std::wstring& windows_path);

// The user's profile folder ("" = cannot be resolved, the default).
void SetProfileFolder(const std::wstring& folder);
// The temporary folder GetTempPathW gives ("" = the call fails, the default).
void SetTempFolder(const std::wstring& folder);

// Whether a raw volume such as \\.\C: can be opened (it can unless set); each
// attempt is journalled as "ProbeRawVolume <device>".
void SetRawVolumeOpens(bool opens);

// Change notifications of a watched folder: each queued wait returns these records
// (encoded as the platform encodes them, so that a burst larger than the watcher's
// buffer overflows into an empty wait), or fails. The watch ends as stopped when none
// are left.
void QueueFolderChanges(const std::wstring& windows_folder,
                        const std::vector<std::pair<uint32_t, std::wstring>>& records);
void QueueFailedChangeWait(const std::wstring& windows_folder);
// The next wait ends the watch as a deleted or moved folder does; what is queued
// after it goes to the next watch of the folder.
void QueueFolderGone(const std::wstring& windows_folder);
// The buffer size the last watch asked for.
std::size_t LastChangeBufferBytes();

// Starting a thread fails (the thread facility throws), as when the process is out of resources.
void SetThreadStartFails(bool fails);

// Processes: the running ones (id, image file name, full image path), this program's
// own id (4242 unless set), ones that cannot be ended, and what was ended.
void AddProcess(uint32_t pid, const std::wstring& exe_name, const std::wstring& image_path);
// Right after the next image query of the process, its id belongs to another program
// with this image (the process ended and the id was given out again).
void ReuseProcessIdAfterQuery(uint32_t pid, const std::wstring& new_image_path);
void SetOwnProcessId(uint32_t pid);
void SetProcessUnkillable(uint32_t pid);
void SetProcessSnapshotWorks(bool works);
std::vector<uint32_t> TerminatedProcesses();

// Child processes started (hidden, waited or not), as command lines in order, and
// shell "open" requests as "target||(shown)". Starting can be made to fail.
std::vector<std::wstring> ChildCommandLines();
void SetChildStartWorks(bool works);
std::vector<std::wstring> ShellOpens();
// Programs started by their own path (StartProgram, StartDetachedHidden), in order;
// they are also in ChildCommandLines. A start of this exact command line fails with
// error 2 (still recorded in neither list).
struct ProgramStart {
  std::wstring program;       // the application name given to CreateProcessW
  std::wstring command_line;
  std::wstring folder;        // the current folder given ("" = ours)
  std::wstring window;        // "hidden", "shown" or "detached"
  bool operator==(const ProgramStart&) const = default;
};
std::vector<ProgramStart> ProgramStarts();
void FailStartOf(const std::wstring& command_line);
// The default remote-access phone book's entries, in order.
void SetPhonebookEntries(const std::vector<std::wstring>& names);
// A tool that writes its output in these reads and ends with the code, or never ends
// (its run then meets its time limit). A tool not scripted cannot be started.
void ScriptTool(const std::wstring& program_path, const std::vector<std::string>& reads, uint32_t exit_code,
                bool never_ends = false);
// Who goes on writing a scripted tool's reads, again and again without pause, once
// they are written: the tool itself, which then never ends; or a child it started,
// which holds the inherited pipe open after the tool has ended with its code.
enum class ToolWriter { Tool, Child };
void ScriptChattyTool(const std::wstring& program_path, const std::vector<std::string>& reads, uint32_t exit_code,
                      ToolWriter writer);
// Each read of a scripted tool's output takes this long on the clock.
constexpr uint64_t kScriptedToolReadMs = 50;
void SetToolPipeWorks(bool works);
// The time limits that tool runs were given, in order.
std::vector<uint64_t> ToolTimeouts();
// The processes whose image path was asked for, in order (each one was opened).
std::vector<uint32_t> QueriedProcesses();

// ShellExecuteExW requests as "verb|file|parameters|folder|normal or hidden|quiet or
// plain", in order; whether they succeed (they do unless set). Detached starts go to
// ChildCommandLines and fail with the error code when one is set.
std::vector<std::wstring> ShellExecutes();
void SetShellExecuteWorks(bool works);
void SetDetachedStartError(uint32_t error_code);

// The process token: a member of Administrators or not (not unless set). Ends of the
// process asked for, by exit code. The program's own path ("" = cannot be had).
void SetAdministrator(bool member);
std::vector<uint32_t> ProcessEndCodes();
void SetModuleFilePath(const std::wstring& path);

// A shell folder's path ("" = cannot be resolved, the default for each).
void SetShellFolder(platform::ShellFolder which, const std::wstring& folder);
// A known folder's path ("" = it cannot be resolved, the default).
void SetKnownFolder(platform::KnownFolder which, const std::wstring& folder);

// Wireless: whether a WLAN client can be opened, and the profile of the connected
// interface ("" = none connected). Disconnects are counted.
void SetWlan(bool available, const std::wstring& connected_profile);
int WlanDisconnects();
// The profile connected now ("" = none); netsh's "wlan connect name=" and "wlan
// disconnect" change it as the WLAN calls do.
std::wstring WlanConnectedProfile();

// Win32 services: key name, image path, running or not; stops of running ones succeed.
void AddService(const std::wstring& name, const std::wstring& image_path, bool running);
std::vector<std::wstring> StoppedServices();
// Whether the service control manager opens for status queries (it does unless set).
void SetServiceManagerOpens(bool opens);

// The event log: the event identifier of a log's newest record (a log without one
// cannot be read).
void SetNewestEvent(const std::wstring& log_name, uint32_t event_id);

// Restart: whether ExitWindowsEx is granted, and the restarts it was asked for.
void SetExitWindowsWorks(bool works);
int RestartRequests();

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
// Whether standard input and output are a console window (not unless set); a wait
// for a key there is noted as "WaitForKey" and ends at once.
void SetInteractiveConsole(bool interactive);

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
// A running instance of this program shows its window; the single-instance name's
// holder has gone (the name can be taken over).
void SetInstanceWindow(bool running);
void SetInstanceMutexFreed(bool freed);

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
// Information boxes shown, as "caption: text".
std::vector<std::wstring> Notices();

// Shell links written, by path, as "target|working folder|description|identity" (the
// file itself holds the same text), and the window identity set ("" = none).
std::vector<std::pair<std::wstring, std::wstring>> Shortcuts();

}  // namespace standin
