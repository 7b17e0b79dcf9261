#pragma once
// Running processes and child processes.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct ProcessEntry {
  uint32_t pid = 0;
  std::wstring exe_name;  // the image's file name as the process snapshot gives it
};

// The running processes (Toolhelp snapshot); false when no snapshot could be taken.
bool ListProcesses(std::vector<ProcessEntry>& processes);

// This program's own process id.
uint32_t CurrentProcessId();

// The full image path of a process (PROCESS_QUERY_LIMITED_INFORMATION and
// QueryFullProcessImageNameW, 260 characters); false when it cannot be opened or queried.
bool ProcessImagePath(uint32_t pid, std::wstring& path);

// Opens the process with PROCESS_TERMINATE and ends it with the exit code; false
// when it cannot be opened or ended.
bool TerminateProcessById(uint32_t pid, uint32_t exit_code);

// Opens the process once, reads its image path through that handle, and ends it with
// the exit code only when that path is still `image` (compared without regard to
// letter case): a process id given to another program since it was judged is left
// alone. False when it cannot be opened, its image differs, or it cannot be ended.
bool TerminateProcessWithImage(uint32_t pid, const std::wstring& image, uint32_t exit_code);

// The system folder (GetSystemDirectoryW, at most 260 characters), e.g. C:\Windows\System32.
std::wstring SystemFolder();

// Starts the command line (CreateProcessW, no application name, no inherited handles,
// CREATE_NO_WINDOW, hidden window) and waits for it at most timeout_ms. False when it
// could not be started.
bool RunHiddenAndWait(const std::wstring& command_line, uint32_t timeout_ms);

// Starts the command line the same way in the given current folder, without waiting.
bool StartHidden(const std::wstring& command_line, const std::wstring& current_folder);

// How a tool run with captured output ended.
struct ToolRun {
  bool pipe_made = false;  // false: no pipe, so nothing was started
  bool started = false;    // the process was created
  bool timed_out = false;  // still running at the time limit, so it was ended
  uint32_t exit_code = 1;  // 1 when it could not be read
};

// Starts the program (application name = program, the command line in a writable
// copy, only the pipe's write end inherited, CREATE_NO_WINDOW, window hidden, the
// given current folder) with standard output and error on an anonymous pipe and
// standard input as this process's; on_start runs once the pipe exists, just before
// the start. Hands what the program writes to on_output in
// reads of at most 511 bytes, never one that could wait: the pipe is peeked first,
// and the time limit is tested on every turn, also while output keeps coming. A
// program still running after timeout_ms (counted from the start) is ended with exit
// code 1 and its output no longer read. Once the program has ended, what is left in
// the pipe is read for at most two seconds more, so that a grandchild holding the
// inherited write end open cannot keep the run going.
ToolRun RunToolCapturingOutput(const std::wstring& program, const std::wstring& command_line,
                               const std::wstring& current_folder, uint64_t timeout_ms,
                               const std::function<void()>& on_start,
                               const std::function<void(std::string_view bytes)>& on_output);

// A ShellExecuteExW request: verb ("open", "runas"), file, parameters and working
// folder ("" for none), shown normally or hidden. quiet adds SEE_MASK_FLAG_NO_UI and
// SEE_MASK_NOCLOSEPROCESS, and the process handle that comes back is closed at once.
struct ShellExecuteRequest {
  std::wstring verb;
  std::wstring file;
  std::wstring parameters;
  std::wstring folder;
  bool hidden = false;
  bool quiet = false;
};
// True when the shell started it (for "runas": the user agreed to the elevation).
bool ShellExecuteWithVerb(const ShellExecuteRequest& request);

// Starts the program on its own (CreateProcessW with the application name, the
// command line in a writable copy, no inherited handles, CREATE_NO_WINDOW and
// DETACHED_PROCESS, window hidden, the given current folder) and closes its handles
// at once. 0 when it started, otherwise the Win32 error code.
uint32_t StartDetachedHidden(const std::wstring& program, const std::wstring& command_line,
                             const std::wstring& current_folder);

enum class ProgramWindow { Hidden, Shown };

// Starts the program by its full path (CreateProcessW with it as the application
// name, so nothing is looked up; the command line in a writable copy; no inherited
// handles; the given current folder, "" keeps ours): Hidden with CREATE_NO_WINDOW and
// a hidden window, Shown with a normal one. Closes its handles at once. 0 when it
// started, otherwise the Win32 error code.
uint32_t StartProgram(const std::wstring& program, const std::wstring& command_line,
                      const std::wstring& current_folder, ProgramWindow window);

// Asks the shell to "open" a target such as "ms-settings:network-vpn", shown normally
// (ShellExecuteW, SW_SHOWNORMAL). The shell resolves it through the user's own class
// keys, so an elevated process must not use it.
bool ShellOpenShown(const std::wstring& target);

}  // namespace platform
