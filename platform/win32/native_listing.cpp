// The native directory query, the second road the hidden-file cross-view lists a
// folder by. It is called through ntdll's own export rather than anything a find
// call goes through, so that a filter hooked into FindFirstFile / FindNextFile (or
// into this program's import of them) does not reach it.
#include "platform/files.h"

#include <windows.h>
#include <winternl.h>

#include <string_view>
#include <vector>

#include "platform/win32/final_path.h"
#include "platform/win32/handles.h"

namespace platform {

namespace {
using NtQueryDirectoryFileFn = NTSTATUS(NTAPI*)(HANDLE file, HANDLE event, PIO_APC_ROUTINE apc, PVOID apc_context,
                                                PIO_STATUS_BLOCK io_status, PVOID buffer, ULONG length,
                                                FILE_INFORMATION_CLASS information_class, BOOLEAN single_entry,
                                                PUNICODE_STRING file_name, BOOLEAN restart_scan);
using RtlNtStatusToDosErrorFn = ULONG(NTAPI*)(NTSTATUS status);

constexpr NTSTATUS kNoMoreFiles = static_cast<NTSTATUS>(0x80000006L);
constexpr NTSTATUS kNoSuchFile = static_cast<NTSTATUS>(0xC000000FL);
// One query returns as many entries as fit; 64 KiB holds a few hundred.
constexpr ULONG kQueryBytes = 64 * 1024;

struct NativeCalls {
  NtQueryDirectoryFileFn query = nullptr;
  RtlNtStatusToDosErrorFn win32_error = nullptr;
};

// ntdll is mapped into every process before any of its code runs, so it is only
// looked up, never loaded.
const NativeCalls& Ntdll() {
  static const NativeCalls calls = [] {
    NativeCalls found;
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (!ntdll) return found;
    found.query = reinterpret_cast<NtQueryDirectoryFileFn>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryDirectoryFile")));
    found.win32_error = reinterpret_cast<RtlNtStatusToDosErrorFn>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlNtStatusToDosError")));
    return found;
  }();
  return calls;
}

uint64_t Unsigned(const LARGE_INTEGER& value) { return static_cast<uint64_t>(value.QuadPart); }
}  // namespace

uint32_t VisitFolderNative(const std::wstring& folder, const std::function<bool(const FolderEntry& entry)>& visit) {
  const NativeCalls& nt = Ntdll();
  if (!nt.query || !nt.win32_error) return ERROR_PROC_NOT_FOUND;
  // Shared with everything, so that listing a folder never stands in the way of
  // renaming or deleting it or anything inside.
  const auto directory = win32::OwnFileHandle(
      CreateFileW(win32::ApiPath(folder).c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!directory) return GetLastError();
  BY_HANDLE_FILE_INFORMATION opened{};
  if (!GetFileInformationByHandle(directory.get(), &opened)) return GetLastError();
  if (!(opened.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return ERROR_DIRECTORY;  // as the find listing says

  // Entries are aligned to 8 bytes inside the buffer, so the buffer is too.
  std::vector<ULONGLONG> buffer(kQueryBytes / sizeof(ULONGLONG));
  const auto* bytes = reinterpret_cast<const unsigned char*>(buffer.data());
  for (bool first = true;; first = false) {
    // The handle was opened for synchronous I/O, so the query completes before it returns.
    IO_STATUS_BLOCK io_status{};
    const NTSTATUS status = nt.query(directory.get(), nullptr, nullptr, nullptr, &io_status, buffer.data(), kQueryBytes,
                                     FileDirectoryInformation, FALSE, nullptr, first ? TRUE : FALSE);
    // A drive root has no "." and "..", so an empty one has nothing at all to return.
    if (status == kNoMoreFiles || (first && status == kNoSuchFile)) return 0;
    if (status < 0) return nt.win32_error(status);
    if (io_status.Information == 0) return 0;
    for (ULONG offset = 0;;) {
      const auto* found = reinterpret_cast<const FILE_DIRECTORY_INFORMATION*>(bytes + offset);
      const std::wstring_view name(found->FileName, found->FileNameLength / sizeof(WCHAR));
      if (name != L"." && name != L"..") {
        FolderEntry entry;
        entry.name.assign(name);
        entry.is_directory = (found->FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entry.is_reparse_point = (found->FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        entry.size = Unsigned(found->EndOfFile);
        entry.last_write_time = Unsigned(found->LastWriteTime);
        if (!visit(entry)) return 0;
      }
      if (found->NextEntryOffset == 0) break;
      offset += found->NextEntryOffset;
      if (offset >= io_status.Information || offset >= kQueryBytes) break;
    }
  }
}

}  // namespace platform
