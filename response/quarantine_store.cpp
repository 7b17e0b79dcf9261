#include "response/quarantine_store.h"

#include <stdexcept>

#include "app/activity_log.h"
#include "app/data_dir.h"
#include "app/run_counters.h"
#include "app/text_file.h"
#include "app/wide.h"
#include "engine/path_classes.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/verified_files.h"

std::mutex QuarantineLock;

namespace {
constexpr char kOriginalKey[] = "original=";

bool Exists(const std::wstring& path) {
  try {
    return platform::PathExists(path);
  } catch (const std::exception& e) {
    throw std::runtime_error(std::string("exists: ") + e.what());
  }
}

// The stored name and its sidecar must both be free, so that no earlier quarantined
// file or sidecar is ever overwritten.
bool NameIsFree(const std::wstring& stored) { return !Exists(stored) && !Exists(stored + L".log"); }

std::wstring FreeStoredPath(const std::wstring& name) {
  const std::wstring plain = QuarantineDir + L"\\" + name;
  if (NameIsFree(plain)) return plain;
  const std::wstring ticked = plain + L"." + std::to_wstring(platform::TickCount64());
  std::wstring stored = ticked;
  for (int suffix = 2; !NameIsFree(stored); ++suffix) stored = ticked + L"." + std::to_wstring(suffix);
  return stored;
}

std::wstring ParentOf(const std::wstring& path) {
  const std::size_t cut = path.find_last_of(L"\\/");
  return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut);
}
}  // namespace

std::string SidecarText(const std::wstring& original_path) {
  return std::string(kOriginalKey) + ToUtf8(original_path) + "\nreason=heuristic-disinfect\n";
}

std::wstring SidecarValue(std::string_view text, std::string_view key) {
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(start, end - start);
    if (line.rfind(key, 0) == 0) return FromUtf8(line.substr(key.size()));
    start = end + 1;
  }
  return L"";
}

std::wstring SidecarOriginal(std::string_view text) { return SidecarValue(text, kOriginalKey); }

std::wstring FreeRestoreName(const std::wstring& taken_path) {
  const std::wstring folder = ParentOf(taken_path);
  const std::wstring name = FileNameOf(taken_path);
  const std::wstring extension = ExtensionOf(name);
  const std::wstring stem = name.substr(0, name.size() - extension.size());
  const std::wstring prefix = folder.empty() ? std::wstring() : folder + L"\\";
  std::wstring candidate = prefix + stem + L" (restored)" + extension;
  for (int n = 2; Exists(candidate); ++n) {
    candidate = prefix + stem + L" (restored " + std::to_wstring(n) + L")" + extension;
  }
  return candidate;
}

namespace {
// Moves the suspect into the store through its verified handle, so that a folder on
// its way swapped for a link since the judgement, or another file put in its place, is
// never what is moved; a folder the user picked is renamed as a whole the same way.
// Deletes the sidecar written for a move that did not happen (a fault included).
class SidecarUndo {
 public:
  SidecarUndo(const std::wstring& sidecar, const bool& moved) : sidecar_(sidecar), moved_(moved) {}
  SidecarUndo(const SidecarUndo&) = delete;
  SidecarUndo& operator=(const SidecarUndo&) = delete;
  ~SidecarUndo() {
    if (moved_) return;
    try {
      platform::DeleteVerified(sidecar_, nullptr);
    } catch (...) {
    }
  }

 private:
  const std::wstring& sidecar_;
  const bool& moved_;
};

bool MoveIntoStore(const std::wstring& path, const platform::FileIdentity* expected, const std::wstring& stored) {
  platform::FileInfo info;
  if (platform::QueryFileInfo(path, info) && info.is_directory) {
    return platform::MoveFolderVerified(path, stored) == platform::Verified::Done;
  }
  return platform::MoveVerified(path, expected, stored) == platform::Verified::Done;
}
}  // namespace

bool QuarantineFile(const std::wstring& path, std::wstring& stored_path, const platform::FileIdentity* expected) {
  if (path.empty() || QuarantineDir.empty() || !Exists(path)) return false;
  std::lock_guard<std::mutex> hold(QuarantineLock);
  // Made again when it went away; never moved into through a link put in its place.
  if (!RemakeDataFolder(QuarantineDir)) {
    AppendActivity(L"[QUARANTINE] Failed: " + path);
    return false;
  }
  const std::wstring stored = FreeStoredPath(FileNameOf(path));
  // The sidecar first, created new: a crash or a full disk can then leave a sidecar
  // without its file, never a stored file that has forgotten where it came from.
  const std::wstring sidecar = stored + L".log";
  if (platform::CreateNewVerified(sidecar, ToCrLf(SidecarText(path))) != platform::Verified::Done) {
    AppendActivity(L"[QUARANTINE] Failed: " + path);
    return false;
  }
  bool moved = false;
  const SidecarUndo undo(sidecar, moved);
  moved = MoveIntoStore(path, expected, stored);
  if (!moved) {
    AppendActivity(L"[QUARANTINE] Failed: " + path);
    return false;
  }
  RunCounters.quarantined.fetch_add(1);
  AppendActivity(L"[QUARANTINE] " + path + L" -> " + stored);
  stored_path = stored;
  return true;
}

bool RestoreQuarantinedFile(const std::wstring& stored_path, std::wstring& restored_path) {
  platform::FileInfo info;
  if (!platform::QueryFileInfo(stored_path, info)) return false;
  std::string sidecar;
  std::wstring original;
  bool cut = false;
  // A sidecar holds one path of at most 32,767 characters: 256 KiB is plenty.
  if (ReadTextFilePrefix(stored_path + L".log", 256u << 10, sidecar, cut)) original = SidecarOriginal(sidecar);
  std::wstring target = original.empty() ? DataDir + L"\\Restored\\" + FileNameOf(stored_path) : original;
  // Neither our own Restored folder nor the folders of the original path are ever
  // entered through a link: the stored file would land wherever the link points.
  const bool folder_ready = original.empty()
                                ? RemakeDataFolder(ParentOf(target))
                                : platform::MakeFoldersVerified(ParentOf(target)) == platform::Verified::Done;
  if (!folder_ready) {
    AppendActivity(L"[DISINFECT] Restore failed: " + stored_path);
    return false;
  }
  // A file the user put there since the quarantine is never overwritten: the move
  // creates its target new, and a name taken meanwhile gets the next free name.
  const std::wstring wanted = target;
  bool name_taken = Exists(target);
  if (name_taken) target = FreeRestoreName(target);
  platform::Verified moved = platform::MoveVerified(stored_path, nullptr, target);
  if (moved == platform::Verified::Exists) {
    name_taken = true;
    target = FreeRestoreName(wanted);
    moved = platform::MoveVerified(stored_path, nullptr, target);
  }
  if (moved != platform::Verified::Done) {
    AppendActivity(L"[DISINFECT] Restore failed: " + stored_path);
    return false;
  }
  platform::DeleteFileAt(stored_path + L".log");
  AppendActivity(name_taken ? L"[DISINFECT] Restored " + target + L" \u2014 a newer file keeps the name " + wanted
                            : L"[DISINFECT] Restored " + target);
  restored_path = target;
  return true;
}

bool DeleteThreatFile(const std::wstring& path, const platform::FileIdentity* expected) {
  if (path.empty() || IsSystemLocation(path)) return false;
  // Through the file's own verified handle: a folder on its way swapped for a link,
  // or another file put in its place, is never what is deleted.
  if (platform::DeleteVerified(path, expected) == platform::Verified::Done) {
    AppendActivity(L"[AI] Deleted " + path);
    return true;
  }
  AppendActivity(L"[AI] Delete failed: " + path);
  return false;
}
