#include "platform/folder_changes.h"

#include <windows.h>

#include <vector>

#include "platform/win32/handles.h"

namespace platform {

bool WatchFolderChanges(const std::wstring& folder, std::size_t buffer_bytes,
                        const std::function<bool(const FolderChangeBatch& batch)>& visit) {
  const auto watched = win32::OwnFileHandle(CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY,
                                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!watched) return false;
  // The records are read as DWORDs, so the buffer must be DWORD-aligned.
  std::vector<DWORD> buffer((buffer_bytes + 3) / 4);
  const DWORD length = static_cast<DWORD>(buffer.size() * sizeof(DWORD));
  for (;;) {
    FolderChangeBatch batch;
    DWORD returned = 0;
    const bool read = ReadDirectoryChangesW(watched.get(), buffer.data(), length, FALSE,
                                            FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE, &returned,
                                            nullptr, nullptr) != 0;
    // An overflow is success with nothing returned; Wine reports it as the error
    // "enumerate the folder instead", which means the same.
    batch.ok = read || GetLastError() == ERROR_NOTIFY_ENUM_DIR;
    if (read && returned > 0) {
      batch.records = DecodeChangeRecords(reinterpret_cast<const unsigned char*>(buffer.data()), returned);
    }
    if (!visit(batch)) return true;
  }
}

}  // namespace platform
