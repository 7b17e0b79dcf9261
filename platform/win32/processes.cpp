#include "platform/processes.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/handles.h"

namespace platform {

namespace {
using win32::UniqueHandle;

constexpr DWORD kPathChars = 260;

struct Child {
  UniqueHandle process;
  UniqueHandle thread;
};

// Starts a command line with no window and no inherited handles; an empty folder
// keeps ours. Null handles when it could not be started.
Child StartChild(const std::wstring& command_line, const std::wstring& current_folder) {
  // CreateProcessW may write into the command line, so it gets a copy of its own.
  std::vector<wchar_t> writable(command_line.begin(), command_line.end());
  writable.push_back(L'\0');
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(nullptr, writable.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                      current_folder.empty() ? nullptr : current_folder.c_str(), &startup, &started)) {
    return {};
  }
  return {UniqueHandle(started.hProcess), UniqueHandle(started.hThread)};
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

bool ShellOpenHidden(const std::wstring& file, const std::wstring& parameters, const std::wstring& folder) {
  // The shell may hand the file to an extension, which needs COM on this thread; a
  // thread already in another apartment keeps it (RPC_E_CHANGED_MODE, nothing to undo).
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  const HINSTANCE result =
      ShellExecuteW(nullptr, L"open", file.c_str(), parameters.empty() ? nullptr : parameters.c_str(),
                    folder.empty() ? nullptr : folder.c_str(), SW_HIDE);
  if (SUCCEEDED(com)) CoUninitialize();
  // Values above 32 mean success; the rest are error codes in a handle's clothing.
  return reinterpret_cast<INT_PTR>(result) > 32;
}

}  // namespace platform
