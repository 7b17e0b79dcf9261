#pragma once
// The quarantine store: a suspect file moved into the program's own folder with a
// sidecar that remembers where it came from, and put back or destroyed later.
#include <mutex>
#include <string>
#include <string_view>

#include "platform/verified_files.h"

// Serialises quarantines from the choice of the stored name to the last log line.
extern std::mutex QuarantineLock;

// Moves a file (or, on the same volume, a folder) into the quarantine folder under a
// free name and writes its sidecar; true with the stored path on success. A file is
// moved through its verified handle: a link anywhere on its path, or (when expected is
// given) another file than the one judged, is refused with "[QUARANTINE] Failed: ".
// A path that does not exist gives false without a line; a status that cannot be read
// throws a file-system error named "exists".
bool QuarantineFile(const std::wstring& path, std::wstring& stored_path,
                    const platform::FileIdentity* expected = nullptr);

// The sidecar's text for an original path: "original=" + the path as UTF-8, then
// "reason=heuristic-disinfect", each line ended by a line break.
std::string SidecarText(const std::wstring& original_path);

// The original path a sidecar names: the rest of its first line that starts with
// "original=", read as UTF-8 (bytes that are not UTF-8 stand for themselves); "" when none.
std::wstring SidecarOriginal(std::string_view sidecar_text);

// The value of the first sidecar line that starts with key ("original=", "reason="),
// from UTF-8; empty when there is none.
std::wstring SidecarValue(std::string_view sidecar_text, std::string_view key);

// A free name beside a taken one: "report (restored).docx", then "report (restored 2).docx", ...
std::wstring FreeRestoreName(const std::wstring& taken_path);

// Puts a stored file back where its sidecar says (or into DataDir\Restored), beside a
// file that stands there now rather than over it, and removes the stored file and its
// sidecar. True with the path it was restored to.
bool RestoreQuarantinedFile(const std::wstring& stored_path, std::wstring& restored_path);

// Deletes a file outside the system folders through its verified handle (read-only
// cleared first; when expected is given, only that very file) and logs the outcome;
// true when it was deleted.
bool DeleteThreatFile(const std::wstring& path, const platform::FileIdentity* expected = nullptr);
