#include "platform/folder_changes.h"

#include <windows.h>

#include <vector>

#include "platform/win32/handles.h"

namespace platform {

namespace {
constexpr DWORD kIdentityCheckMs = 1000;
constexpr DWORD kCancelWaitMs = 5000;
// Changes made just before a move may still be on their way to the handle.
constexpr DWORD kLastChangesMs = 2000;
// ... but a moved folder that keeps changing is not followed for ever.
constexpr int kBatchesAfterMove = 16;

win32::UniqueHandle OpenFolderForWatching(const std::wstring& folder) {
  return win32::OwnFileHandle(CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr));
}

bool IdentityOf(HANDLE handle, BY_HANDLE_FILE_INFORMATION& info) {
  return GetFileInformationByHandle(handle, &info) != 0;
}

// Whether the path still opens the folder the handle watches: a moved folder keeps
// its handle, and a deleted one waits, delete pending, for its last handle to close.
bool PathStillOpens(const std::wstring& folder, HANDLE watched) {
  FILE_STANDARD_INFO standard{};
  if (GetFileInformationByHandleEx(watched, FileStandardInfo, &standard, sizeof(standard)) && standard.DeletePending) {
    return false;
  }
  const auto now = win32::OwnFileHandle(CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION at_path{}, held{};
  if (!now || !IdentityOf(now.get(), at_path) || !IdentityOf(watched, held)) return false;
  return at_path.dwVolumeSerialNumber == held.dwVolumeSerialNumber &&
         at_path.nFileIndexHigh == held.nFileIndexHigh && at_path.nFileIndexLow == held.nFileIndexLow;
}

// Gives up a wait still in flight, so that the buffer is not written after return.
void CancelWait(HANDLE watched, OVERLAPPED& pending) {
  CancelIoEx(watched, &pending);
  if (WaitForSingleObject(pending.hEvent, kCancelWaitMs) == WAIT_OBJECT_0) {
    DWORD ignored = 0;
    GetOverlappedResult(watched, &pending, &ignored, FALSE);
  }
}
}  // namespace

WatchEnd WatchFolderChanges(const std::wstring& folder, std::size_t buffer_bytes,
                            const std::function<bool(const FolderChangeBatch& batch)>& visit) {
  const auto watched = OpenFolderForWatching(folder);
  if (!watched) return WatchEnd::CannotOpen;
  const auto done = win32::UniqueHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!done) return WatchEnd::CannotOpen;
  // The records are read as DWORDs, so the buffer must be DWORD-aligned.
  std::vector<DWORD> buffer((buffer_bytes + 3) / 4);
  const DWORD length = static_cast<DWORD>(buffer.size() * sizeof(DWORD));
  int batches_after_move = 0;
  for (;;) {
    OVERLAPPED pending{};
    pending.hEvent = done.get();
    ResetEvent(done.get());
    FolderChangeBatch batch;
    DWORD returned = 0;
    bool read = ReadDirectoryChangesW(watched.get(), buffer.data(), length, FALSE,
                                      FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE, nullptr, &pending,
                                      nullptr) != 0;
    DWORD error = read ? ERROR_SUCCESS : GetLastError();
    bool gone = false;
    if (read) {
      // The wait is in flight: it ends with changes, or the folder goes away under it.
      while (WaitForSingleObject(done.get(), kIdentityCheckMs) == WAIT_TIMEOUT) {
        if (PathStillOpens(folder, watched.get())) continue;
        gone = true;
        if (WaitForSingleObject(done.get(), kLastChangesMs) == WAIT_OBJECT_0) break;
        CancelWait(watched.get(), pending);
        return WatchEnd::FolderGone;
      }
      read = GetOverlappedResult(watched.get(), &pending, &returned, FALSE) != 0;
      error = read ? ERROR_SUCCESS : GetLastError();
    }
    // An overflow is success with nothing returned; Wine reports it as the error
    // "enumerate the folder instead", which means the same.
    batch.ok = read || error == ERROR_NOTIFY_ENUM_DIR;
    if (read && returned > 0) {
      batch.records = DecodeChangeRecords(reinterpret_cast<const unsigned char*>(buffer.data()), returned);
    }
    // A failed wait may be the folder's end. Records still coming from a folder that
    // was just moved go to the visitor: they name files by the path, and whoever acts
    // on one judges what the path leads to now; the watch ends once they stop.
    if (!batch.ok && (gone || !PathStillOpens(folder, watched.get()))) return WatchEnd::FolderGone;
    if (!visit(batch)) return WatchEnd::Stopped;
    if (gone && ++batches_after_move >= kBatchesAfterMove) return WatchEnd::FolderGone;
  }
}

}  // namespace platform
