#pragma once
// Change notifications of one folder (ReadDirectoryChangesW) and the decoding of
// their records.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform {

// Record actions as the platform reports them.
constexpr uint32_t kChangeAdded = 1;
constexpr uint32_t kChangeRemoved = 2;
constexpr uint32_t kChangeModified = 3;
constexpr uint32_t kChangeRenamedOldName = 4;
constexpr uint32_t kChangeRenamedNewName = 5;

struct FolderChange {
  uint32_t action = 0;
  std::wstring name;  // relative to the watched folder
};

// One completed wait: the records in order, or none when the call failed (ok false)
// or the changes overflowed the buffer (ok true, no records).
struct FolderChangeBatch {
  bool ok = false;
  std::vector<FolderChange> records;
};

// Decodes a buffer of FILE_NOTIFY_INFORMATION records (next-entry offset, action,
// name length in bytes, UTF-16LE name). Every offset and length is checked against
// the buffer; decoding stops at the first record that does not fit.
std::vector<FolderChange> DecodeChangeRecords(const unsigned char* bytes, std::size_t length);

// How a watch ended.
enum class WatchEnd {
  Stopped,     // the visitor returned false
  FolderGone,  // the folder was deleted, or moved so that the path names another one (or none)
  CannotOpen,  // the folder could not be opened at the start
};

// Watches the folder itself (not its sub-folders) for new, renamed and written files
// with a notification buffer of buffer_bytes, handing every completed wait to the
// visitor until it returns false. The folder is opened for listing, shared with
// readers, writers and deleters, and closed before returning. A handle keeps
// watching a folder that is moved, and a deleted one never wakes again, so after a
// second without changes, and after a failed wait, the watch checks that the path
// still opens the folder it watches, and ends with FolderGone when it does not.
WatchEnd WatchFolderChanges(const std::wstring& folder, std::size_t buffer_bytes,
                            const std::function<bool(const FolderChangeBatch& batch)>& visit);

}  // namespace platform
