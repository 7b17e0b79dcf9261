#include "platform/processes.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/tool_pipe_pump.h"
#include "platform/win32/handles.h"

namespace platform {

namespace {
using win32::UniqueHandle;

constexpr DWORD kPathChars = 260;

struct Child {
  UniqueHandle process;
  UniqueHandle thread;
};

// Starts a child with no inherited handles; program may be null (then the command
// line names it); an empty folder keeps ours. Null handles when it could not be
// started, and error gets the failure's code.
Child StartChild(const wchar_t* program, const std::wstring& command_line, const std::wstring& current_folder,
                 DWORD creation_flags, WORD show, DWORD& error) {
  // CreateProcessW may write into the command line, so it gets a copy of its own.
  std::vector<wchar_t> writable(command_line.begin(), command_line.end());
  writable.push_back(L'\0');
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = show;
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(program, writable.data(), nullptr, nullptr, FALSE, creation_flags, nullptr,
                      current_folder.empty() ? nullptr : current_folder.c_str(), &startup, &started)) {
    error = GetLastError();
    return {};
  }
  error = 0;
  return {UniqueHandle(started.hProcess), UniqueHandle(started.hThread)};
}

Child StartChild(const std::wstring& command_line, const std::wstring& current_folder) {
  DWORD error = 0;
  return StartChild(nullptr, command_line, current_folder, CREATE_NO_WINDOW, SW_HIDE, error);
}
}  // namespace

bool ListProcesses(std::vector<ProcessEntry>& processes) {
  const auto snapshot = win32::OwnSnapshotHandle(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return false;
  std::vector<ProcessEntry> found;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  // An empty snapshot says "no more files" at once; any other failure leaves it unread.
  if (Process32FirstW(snapshot.get(), &entry)) {
    do {
      found.push_back({static_cast<uint32_t>(entry.th32ProcessID), entry.szExeFile});
    } while (Process32NextW(snapshot.get(), &entry));
  } else if (GetLastError() != ERROR_NO_MORE_FILES) {
    return false;
  }
  processes = std::move(found);
  return true;
}

uint32_t CurrentProcessId() { return GetCurrentProcessId(); }

bool ProcessImagePath(uint32_t pid, std::wstring& path) {
  const UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  if (!process) return false;
  wchar_t buffer[kPathChars];
  DWORD length = kPathChars;
  if (!QueryFullProcessImageNameW(process.get(), 0, buffer, &length)) return false;
  path.assign(buffer, length);
  return true;
}

bool TerminateProcessById(uint32_t pid, uint32_t exit_code) {
  const UniqueHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, pid));
  return process && TerminateProcess(process.get(), exit_code);
}

bool TerminateProcessWithImage(uint32_t pid, const std::wstring& image, uint32_t exit_code) {
  const UniqueHandle process(OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  if (!process) return false;
  std::wstring current(32768, L'\0');
  DWORD length = static_cast<DWORD>(current.size());
  if (!QueryFullProcessImageNameW(process.get(), 0, current.data(), &length)) return false;
  current.resize(length);
  if (CompareStringOrdinal(current.data(), static_cast<int>(current.size()), image.data(),
                           static_cast<int>(image.size()), TRUE) != CSTR_EQUAL) {
    return false;
  }
  return TerminateProcess(process.get(), exit_code) != 0;
}

std::wstring SystemFolder() {
  wchar_t buffer[kPathChars];
  const UINT length = GetSystemDirectoryW(buffer, kPathChars);
  if (length == 0 || length >= kPathChars) return L"";  // failed, or would not fit
  return std::wstring(buffer, length);
}

bool RunHiddenAndWait(const std::wstring& command_line, uint32_t timeout_ms) {
  const Child child = StartChild(command_line, L"");
  if (!child.process) return false;
  WaitForSingleObject(child.process.get(), timeout_ms);
  return true;
}

bool StartHidden(const std::wstring& command_line, const std::wstring& current_folder) {
  return static_cast<bool>(StartChild(command_line, current_folder).process);
}

ToolRun RunToolCapturingOutput(const std::wstring& program, const std::wstring& command_line,
                               const std::wstring& current_folder, uint64_t timeout_ms,
                               const std::function<void()>& on_start,
                               const std::function<void(std::string_view bytes)>& on_output) {
  ToolRun run;
  SECURITY_ATTRIBUTES inheritable{};
  inheritable.nLength = sizeof(inheritable);
  inheritable.bInheritHandle = TRUE;
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &inheritable, 0)) return run;
  const UniqueHandle reader(read_end);
  UniqueHandle writer(write_end);
  SetHandleInformation(reader.get(), HANDLE_FLAG_INHERIT, 0);  // only the tool's end goes to the tool
  run.pipe_made = true;

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = writer.get();
  startup.hStdError = writer.get();
  std::vector<wchar_t> writable(command_line.begin(), command_line.end());
  writable.push_back(L'\0');
  on_start();
  PROCESS_INFORMATION started{};
  const bool created = CreateProcessW(program.c_str(), writable.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                      nullptr, current_folder.empty() ? nullptr : current_folder.c_str(), &startup,
                                      &started) != 0;
  writer.reset();  // our copy of the write end goes at once, so the pipe ends when the tool's does
  if (!created) return run;
  run.started = true;
  const UniqueHandle process(started.hProcess);
  const UniqueHandle thread(started.hThread);

  // The pipe is peeked before every read and the time limit tested on every turn,
  // so that neither a tool that hangs with its output open nor one that never stops
  // writing (or a grandchild that inherited the write end) holds us past the limit.
  ToolPipe pipe;
  pipe.peek = [&reader](uint32_t& available) {
    DWORD waiting = 0;
    if (!PeekNamedPipe(reader.get(), nullptr, 0, nullptr, &waiting, nullptr)) return false;
    available = waiting;
    return true;
  };
  pipe.read = [&reader](char* buffer, uint32_t size) -> uint32_t {
    DWORD got = 0;
    return ReadFile(reader.get(), buffer, size, &got, nullptr) ? got : 0;
  };
  pipe.wait_for_end = [&process](uint32_t ms) { return WaitForSingleObject(process.get(), ms) == WAIT_OBJECT_0; };
  pipe.end_tool = [&process] {
    TerminateProcess(process.get(), 1);
    WaitForSingleObject(process.get(), 5000);
  };
  pipe.now_ms = [] { return static_cast<uint64_t>(GetTickCount64()); };
  run.timed_out = PumpToolOutput(pipe, timeout_ms, on_output);
  DWORD code = 1;
  run.exit_code = GetExitCodeProcess(process.get(), &code) ? code : 1;
  if (run.timed_out) run.exit_code = 1;
  return run;
}

bool ShellExecuteWithVerb(const ShellExecuteRequest& request) {
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  SHELLEXECUTEINFOW execute{};
  execute.cbSize = sizeof(execute);
  execute.fMask = request.quiet ? (SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI) : 0;
  execute.lpVerb = request.verb.c_str();
  execute.lpFile = request.file.c_str();
  execute.lpParameters = request.parameters.empty() ? nullptr : request.parameters.c_str();
  execute.lpDirectory = request.folder.empty() ? nullptr : request.folder.c_str();
  execute.nShow = request.hidden ? SW_HIDE : SW_SHOWNORMAL;
  const bool started = ShellExecuteExW(&execute) != 0;
  if (execute.hProcess) CloseHandle(execute.hProcess);
  if (SUCCEEDED(com)) CoUninitialize();
  return started;
}

uint32_t StartDetachedHidden(const std::wstring& program, const std::wstring& command_line,
                             const std::wstring& current_folder) {
  DWORD error = 0;
  StartChild(program.c_str(), command_line, current_folder, CREATE_NO_WINDOW | DETACHED_PROCESS, SW_HIDE, error);
  return error;  // the handles close as the child's owners go
}

uint32_t StartProgram(const std::wstring& program, const std::wstring& command_line,
                      const std::wstring& current_folder, ProgramWindow window) {
  DWORD error = 0;
  const bool hidden = window == ProgramWindow::Hidden;
  StartChild(program.c_str(), command_line, current_folder, hidden ? CREATE_NO_WINDOW : 0,
             hidden ? SW_HIDE : SW_SHOWNORMAL, error);
  return error;
}

bool ShellOpenShown(const std::wstring& target) {
  // The shell may hand the target to an extension, which needs COM on this thread; a
  // thread already in another apartment keeps it (RPC_E_CHANGED_MODE, nothing to undo).
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  const HINSTANCE result = ShellExecuteW(nullptr, L"open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  if (SUCCEEDED(com)) CoUninitialize();
  // Values above 32 mean success; the rest are error codes in a handle's clothing.
  return reinterpret_cast<INT_PTR>(result) > 32;
}

}  // namespace platform
