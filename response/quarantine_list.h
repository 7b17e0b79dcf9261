#pragma once
// What the quarantine folder holds, read from the folder itself (so that files stored
// by earlier runs are there too), and the user's own Restore and Delete of one file.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One stored file and what its sidecar says of it.
struct QuarantineEntry {
  std::wstring stored_path;    // the file in the quarantine folder
  std::wstring name;           // its stored name
  std::wstring original;       // where it came from (the sidecar's "original="); "" when unknown
  std::wstring reason;         // why (the sidecar's "reason="); "" when unknown
  uint64_t isolated_time = 0;  // when: the sidecar's write time in file-time ticks; 0 when unknown
  bool is_folder = false;      // a folder sent to quarantine as a whole
};

// The rest of the sidecar's first line that starts with "reason="; "" when none.
std::wstring SidecarReason(std::string_view sidecar_text);

// File-time ticks (100 ns since 1601, UTC) as "YYYY-MM-DD HH:MM UTC".
std::string UtcTimeText(uint64_t file_time);

// Every stored file and folder in the quarantine folder, newest first (those whose
// time is unknown last, by name). A sidecar (a name + ".log" beside its file) is not
// an entry of its own; a file whose sidecar is missing, unreadable or names no origin
// is listed with an empty origin. Links in the folder are left out. False when the
// folder cannot be listed (a folder not made yet lists as empty).
bool ListQuarantine(std::vector<QuarantineEntry>& entries);

// True when the entry can be put back: a file whose origin is known.
bool CanRestore(const QuarantineEntry& entry);

// Puts a stored file back where its sidecar says, beside a newer file there rather
// than over it, and trusts its hash, as the batch decision's keep does. A file whose
// sidecar names no origin is refused ("[QUARANTINE] Restore refused, origin unknown: ").
// True with the path it was put back to.
bool RestoreFromQuarantine(const std::wstring& stored_path, std::wstring& restored_path);

// Removes a stored file and its sidecar for good; true when the file is gone.
bool DeleteFromQuarantine(const std::wstring& stored_path);
