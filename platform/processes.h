#pragma once
// Running processes and child processes.
#include <cstdint>
#include <string>
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

// The system folder (GetSystemDirectoryW, at most 260 characters), e.g. C:\Windows\System32.
std::wstring SystemFolder();

// Starts the command line (CreateProcessW, no application name, no inherited handles,
// CREATE_NO_WINDOW, hidden window) and waits for it at most timeout_ms. False when it
// could not be started.
bool RunHiddenAndWait(const std::wstring& command_line, uint32_t timeout_ms);

// Starts the command line the same way in the given current folder, without waiting.
bool StartHidden(const std::wstring& command_line, const std::wstring& current_folder);

// Asks the shell to "open" a file with parameters in a folder, window hidden (ShellExecuteW).
bool ShellOpenHidden(const std::wstring& file, const std::wstring& parameters, const std::wstring& folder);

}  // namespace platform
