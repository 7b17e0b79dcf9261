#include "response/snapshots.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

#include "app/activity_log.h"
#include "app/data_dir.h"
#include "engine/path_classes.h"
#include "engine/hash_lists.h"
#include "engine/pe_analysis.h"
#include "platform/crypto.h"
#include "platform/files.h"
#include "platform/verified_files.h"

namespace {
constexpr std::size_t kDigestChars = 64;  // SHA-256 in hex
constexpr wchar_t kDigestMark = L'~';
constexpr wchar_t kSnapshotSuffix[] = L".snapshot";
constexpr wchar_t kReplacedSuffix[] = L".replaced";
// One byte past the window tells a file that is too big from one that just fits.
constexpr std::size_t kWindowReadBytes = static_cast<std::size_t>(kSnapshotMaxFileBytes) + 1;

constexpr wchar_t kTemporarySuffix[] = L".kav.tmp";
constexpr std::size_t kFileLockStripes = 64;

// The folder's size is measured once and then kept up to date by every write, so
// that the budget costs no listing per file. Room a write is about to use is counted
// in it from the budget test on, so that writes on several threads cannot pass the
// cap together. The same lock guards the snapshot-to-path map.
std::mutex g_budget_lock;
std::optional<uint64_t> g_folder_bytes;
std::atomic<bool> g_budget_notice_logged{false};
std::atomic<uint64_t> g_temp_serial{0};
// The file each snapshot seen this run copies: the name's readable tail is not the
// path, and it tells which snapshots belong to files that are gone.
std::unordered_map<std::wstring, std::wstring> g_snapshot_paths;

// One file is snapshotted or rolled back by one thread at a time (the Downloads watch
// and a scan can meet on it); different files rarely share a stripe.
std::mutex g_file_locks[kFileLockStripes];
std::mutex& FileLockFor(const std::wstring& snapshot_path) {
  return g_file_locks[std::hash<std::wstring>{}(snapshot_path) % kFileLockStripes];
}

// SHA-256 of the lower-cased path as UTF-16LE, Windows' own form of a path: every
// unit counts, so no two paths share a digest, and the same file named in another
// letter case keeps one snapshot. Empty when the hash provider fails.
std::wstring DigestOf(const std::wstring& path) {
  std::string units;
  units.reserve(path.size() * 2);
  const auto add_unit = [&units](uint32_t unit) {
    units.push_back(static_cast<char>(unit & 0xFF));
    units.push_back(static_cast<char>((unit >> 8) & 0xFF));
  };
  for (const wchar_t c : ToLowerAscii(path)) {
    const uint32_t code = static_cast<uint32_t>(c);
    if (code > 0xFFFF) {  // a 32-bit wchar_t: the surrogate pair Windows would hold
      add_unit(0xD800 + ((code - 0x10000) >> 10));
      add_unit(0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      add_unit(code);
    }
  }
  const platform::Sha256Stream hash = platform::BeginSha256();
  std::string digest;
  if (!hash || !platform::AddToSha256(*hash, units) || !platform::FinishSha256(*hash, digest)) return L"";
  return HexOf(digest);
}

// Whether a snapshot folder file name carries the digest form: "~", 64 hex digits,
// then ".snapshot" or ".snapshot.replaced".
bool HasDigestName(const std::wstring& name) {
  std::wstring stem = name;
  const std::wstring replaced = std::wstring(kSnapshotSuffix) + kReplacedSuffix;
  if (EndsWith(stem, replaced)) {
    stem.resize(stem.size() - replaced.size());
  } else if (EndsWith(stem, kSnapshotSuffix)) {
    stem.resize(stem.size() - std::wstring(kSnapshotSuffix).size());
  } else {
    return false;
  }
  if (stem.size() < kDigestChars + 1 || stem[stem.size() - kDigestChars - 1] != kDigestMark) return false;
  return std::all_of(stem.end() - kDigestChars, stem.end(),
                     [](wchar_t c) { return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f'); });
}

bool StartsWith(const std::wstring& text, const std::wstring& prefix) {
  return !prefix.empty() && text.compare(0, prefix.size(), prefix) == 0;
}

bool InSnapshotWindow(uint64_t size) { return size > 0 && size <= kSnapshotMaxFileBytes; }

// Size of an existing file, 0 when there is none.
uint64_t ExistingSize(const std::wstring& path) {
  platform::FileInfo info;
  return platform::QueryFileInfo(path, info) && !info.is_directory ? info.size : 0;
}

uint64_t MeasureFolderBytes() {
  uint64_t total = 0;
  platform::VisitFolder(SnapshotsDir, [&](const platform::FolderEntry& entry) {
    if (!entry.is_directory) total += entry.size;
    return true;
  });
  return total;
}

void NoteBudgetReached() {
  if (g_budget_notice_logged.exchange(true)) return;
  AppendActivity(L"[ROLLBACK] Snapshot space is full \u2014 no new snapshots this run; existing ones are kept.");
}

// Whether the folder, having freed the bytes, can take the growth inside the budget
// while leaving the volume its free share. Needs g_budget_lock.
bool FitsAfterFreeing(uint64_t growth, uint64_t freed, uint64_t free_bytes, uint64_t total_bytes) {
  const uint64_t folder = *g_folder_bytes - std::min(*g_folder_bytes, freed);
  if (folder + growth > kSnapshotFolderBudgetBytes) return false;
  // What was removed is free again; the volume's figure is read once, before that.
  const uint64_t available = free_bytes + freed;
  return available >= growth && available - growth >= total_bytes / 100 * kSnapshotMinFreePercent;
}

// Removes one snapshot to make room. Needs g_budget_lock.
uint64_t EvictLocked(const std::wstring& name, uint64_t size) {
  if (!platform::DeleteFileAt(SnapshotsDir + L"\\" + name)) return 0;
  *g_folder_bytes -= std::min(*g_folder_bytes, size);
  g_snapshot_paths.erase(SnapshotsDir + L"\\" + name);
  return size;
}

// True when the file a remembered snapshot copies is gone. Needs g_budget_lock.
bool CopiesAGoneFile(const std::wstring& name) {
  const auto found = g_snapshot_paths.find(SnapshotsDir + L"\\" + name);
  if (found == g_snapshot_paths.end()) return false;
  try {
    return !platform::PathExists(found->second);
  } catch (const std::exception&) {
    return false;  // cannot tell: kept
  }
}

// Makes room for the growth and counts it in the folder's size, so that the caller
// may write it. When it does not fit, the snapshots of gone files go, then the least
// recently refreshed ones until it fits; the snapshot being written (spared) and every
// kept version stay. When even that cannot make it fit, nothing more is removed and
// the answer is false.
bool ReserveRoom(uint64_t growth, const std::wstring& spared) {
  uint64_t free_bytes = 0;
  uint64_t total_bytes = 0;
  if (!platform::QueryFreeSpace(SnapshotsDir, free_bytes, total_bytes)) return false;
  std::lock_guard<std::mutex> hold(g_budget_lock);
  if (!g_folder_bytes) g_folder_bytes = MeasureFolderBytes();
  uint64_t freed = 0;
  if (!FitsAfterFreeing(growth, freed, free_bytes, total_bytes)) {
    struct Candidate {
      std::wstring name;
      uint64_t size;
      uint64_t written;
    };
    std::vector<Candidate> gone;
    std::vector<Candidate> oldest_first;
    platform::VisitFolder(SnapshotsDir, [&](const platform::FolderEntry& entry) {
      if (entry.is_directory || !EndsWith(entry.name, kSnapshotSuffix)) return true;
      if (SnapshotsDir + L"\\" + entry.name == spared) return true;
      // A copy of a file that is gone can never be rolled back to: it goes first.
      (CopiesAGoneFile(entry.name) ? gone : oldest_first).push_back({entry.name, entry.size, entry.last_write_time});
      return true;
    });
    for (const auto& snapshot : gone) freed += EvictLocked(snapshot.name, snapshot.size);
    std::sort(oldest_first.begin(), oldest_first.end(),
              [](const Candidate& a, const Candidate& b) { return a.written < b.written; });
    // Only as many as it takes, and none when all of them would not be enough.
    std::size_t needed = 0;
    uint64_t would_free = freed;
    while (!FitsAfterFreeing(growth, would_free, free_bytes, total_bytes) && needed < oldest_first.size()) {
      would_free += oldest_first[needed++].size;
    }
    if (FitsAfterFreeing(growth, would_free, free_bytes, total_bytes)) {
      for (std::size_t i = 0; i < needed; ++i) freed += EvictLocked(oldest_first[i].name, oldest_first[i].size);
    }
    if (!FitsAfterFreeing(growth, freed, free_bytes, total_bytes)) return false;
  }
  *g_folder_bytes += growth;
  return true;
}

// Settles the folder's size after a write: the reserved growth is replaced by what
// the write really changed.
void AccountFolderChange(uint64_t old_bytes, uint64_t new_bytes, uint64_t reserved = 0) {
  std::lock_guard<std::mutex> hold(g_budget_lock);
  if (!g_folder_bytes) return;  // measured afresh at the next budget test
  *g_folder_bytes = *g_folder_bytes - std::min(*g_folder_bytes, old_bytes + reserved) + new_bytes;
}

void RememberPath(const std::wstring& snapshot_path, const std::wstring& path) {
  std::lock_guard<std::mutex> hold(g_budget_lock);
  if (g_snapshot_paths.size() >= kRememberedSnapshotPaths) g_snapshot_paths.clear();
  g_snapshot_paths[snapshot_path] = path;
}

// Writes the bytes to a temporary file beside the target and puts it in the target's
// place in one step: a failure at any point leaves the target as it was.
bool ReplaceContent(const std::wstring& target, const std::string& bytes) {
  const std::wstring temporary = target + L"." + std::to_wstring(g_temp_serial.fetch_add(1)) + kTemporarySuffix;
  if (platform::WriteFileBytes(temporary, bytes) && platform::ReplaceFileWith(target, temporary)) return true;
  platform::DeleteFileAt(temporary);
  return false;
}

// Writes a file of the snapshot folder inside the budget, keeping the folder's size
// up to date; room is made first when the file grows.
bool WriteIntoSnapshotFolder(const std::wstring& target, const std::string& bytes, const std::wstring& spared) {
  const uint64_t old_bytes = ExistingSize(target);
  const uint64_t growth = bytes.size() > old_bytes ? bytes.size() - old_bytes : 0;
  if (growth > 0 && !ReserveRoom(growth, spared)) {
    NoteBudgetReached();
    return false;
  }
  if (!ReplaceContent(target, bytes)) {
    AccountFolderChange(0, 0, growth);
    return false;
  }
  AccountFolderChange(old_bytes, bytes.size(), growth);
  return true;
}

void DeleteFromSnapshotFolder(const std::wstring& target) {
  const uint64_t old_bytes = ExistingSize(target);
  if (platform::DeleteFileAt(target) && old_bytes > 0) AccountFolderChange(old_bytes, 0);
}

// Reads a file of the snapshot window through a verified handle, never more than one
// byte past the window, whatever the file grew to since its size was looked at. The
// bytes are left empty when the file lies outside the window.
platform::Verified ReadWithinWindow(const std::wstring& path, std::string& bytes) {
  bytes.clear();
  const platform::Verified read = platform::ReadVerified(path, kWindowReadBytes, bytes);
  if (read == platform::Verified::Done && !InSnapshotWindow(bytes.size())) bytes.clear();
  return read;
}

// The path no longer leads to a plain file of its own: a link at it or in a folder on
// the way (a folder turned into a junction after the snapshot), or a second hard link.
bool LeadsElsewhere(platform::Verified outcome) {
  return outcome == platform::Verified::Redirected || outcome == platform::Verified::WrongKind;
}

void NoteRefusedRollback(const std::wstring& path) {
  AppendActivity(L"[ROLLBACK] Refused, the file's path now leads elsewhere (a link): " + path);
}

// True when the bytes' SHA-256 is on the user's safe list.
bool IsSafeContent(const std::string& bytes) {
  if (!AnySafeHashes()) return false;
  const platform::Sha256Stream hash = platform::BeginSha256();
  std::string digest;
  if (!hash || !platform::AddToSha256(*hash, bytes) || !platform::FinishSha256(*hash, digest)) return false;
  return IsSafeHash(HexOf(digest));
}

// Keeps the content as the newest kept version, the older ones moving down one place
// and the oldest beyond kKeptVersions going. False, with the kept versions as they
// were or only moved, when the content could not be kept.
bool KeepReplacedContent(const std::wstring& snapshot_path, const std::string& content) {
  const std::wstring oldest = ReplacedContentPathFor(snapshot_path, kKeptVersions);
  const uint64_t oldest_bytes = ExistingSize(oldest);
  // The room the oldest version frees counts only once it is certain to go.
  const uint64_t growth = content.size() > oldest_bytes ? content.size() - oldest_bytes : 0;
  if (growth > 0 && !ReserveRoom(growth, snapshot_path)) {
    NoteBudgetReached();
    return false;
  }
  const auto give_back = [growth] { AccountFolderChange(0, 0, growth); };
  if (oldest_bytes > 0) DeleteFromSnapshotFolder(oldest);
  platform::FileInfo info;
  if (platform::QueryFileInfo(oldest, info)) {
    give_back();
    return false;
  }
  for (int version = kKeptVersions - 1; version >= 1; --version) {
    const std::wstring from = ReplacedContentPathFor(snapshot_path, version);
    if (!platform::QueryFileInfo(from, info)) continue;
    // A version that cannot move would be overwritten by the next: nothing is kept then.
    if (!platform::MoveFileTo(from, ReplacedContentPathFor(snapshot_path, version + 1))) {
      give_back();
      return false;
    }
  }
  const std::wstring newest = ReplacedContentPathFor(snapshot_path, 1);
  if (!ReplaceContent(newest, content)) {
    give_back();
    return false;
  }
  AccountFolderChange(0, content.size(), growth);
  return true;
}

// Puts the snapshot back over the file, through a verified handle only: a path that now
// leads elsewhere is refused before anything is written. What the rollback replaces is
// kept first beside the snapshot, so that a wrong rollback can be undone by hand;
// without that copy the file is left alone. Content the user declared safe is kept as
// it is, and the old copy goes: the user chose this form of the file (an archive
// with a password saved over its text), so a plain copy of it would only undo that
// choice, and roll back the next save of it.
void RollBack(const std::wstring& path, const std::string& snapshot_bytes, const std::wstring& snapshot_path) {
  std::string current;
  const platform::Verified read = ReadWithinWindow(path, current);
  if (LeadsElsewhere(read)) {
    NoteRefusedRollback(path);
    return;
  }
  if (read != platform::Verified::Done || current.empty()) return;
  if (IsSafeContent(current)) {
    DeleteFromSnapshotFolder(snapshot_path);
    return;
  }
  if (!KeepReplacedContent(snapshot_path, current)) return;
  // Never a create: a target that stopped being a plain file of its own meanwhile is
  // not written.
  const platform::Verified written = platform::ReplaceVerified(path, snapshot_bytes);
  if (LeadsElsewhere(written)) NoteRefusedRollback(path);
  if (written != platform::Verified::Done) return;
  AppendActivity(L"[ROLLBACK] Restored after change: " + path + L" \u2014 replaced content kept in " +
                 ReplacedContentPathFor(snapshot_path));
}

bool TakeSnapshotHeld(const std::wstring& path, const std::wstring& snapshot_path) {
  // The size only spares reading big files; the bounded read decides.
  platform::FileInfo info;
  if (!platform::QueryFileInfo(path, info) || info.is_directory || !InSnapshotWindow(info.size)) return false;
  std::string bytes;
  if (ReadWithinWindow(path, bytes) != platform::Verified::Done || bytes.empty()) return false;
  if (EntropyOfHead(bytes) > kRollbackEntropy) return false;  // a copy of noise could never be rolled back to
  if (!WriteIntoSnapshotFolder(snapshot_path, bytes, snapshot_path)) return false;
  RememberPath(snapshot_path, path);
  return true;
}
}  // namespace

std::wstring SnapshotPathFor(const std::wstring& path) {
  if (SnapshotsDir.empty()) return L"";
  const std::wstring digest = DigestOf(path);
  if (digest.empty()) return L"";
  // The readable tail only helps a person find a file's snapshot; the digest is what
  // keeps names apart. Both are lower-cased, so that one file keeps one name.
  std::wstring tail = ToLowerAscii(path);
  for (wchar_t& c : tail) {
    if (c == L'\\' || c == L'/' || c == L':') c = L'_';
  }
  const std::size_t keep = kSnapshotNameChars - kDigestChars - 1;
  if (tail.size() > keep) tail.erase(0, tail.size() - keep);
  return SnapshotsDir + L"\\" + tail + kDigestMark + digest + kSnapshotSuffix;
}

std::wstring ReplacedContentPathFor(const std::wstring& snapshot_path, int version) {
  return snapshot_path + kReplacedSuffix + (version <= 1 ? L"" : L"." + std::to_wstring(version));
}

bool TakeSnapshot(const std::wstring& path, const std::wstring& snapshot_path) {
  std::lock_guard<std::mutex> hold(FileLockFor(snapshot_path));
  return TakeSnapshotHeld(path, snapshot_path);
}

void SnapshotOrRestore(const std::wstring& path) {
  if (path.empty() || IsSystemLocation(path) || StartsWith(path, SnapshotsDir) || StartsWith(path, QuarantineDir)) {
    return;
  }
  const std::wstring snapshot_path = SnapshotPathFor(path);
  if (snapshot_path.empty()) return;
  // From the look at the file to the rollback or refresh, so that a second thread
  // finds the file already put back instead of keeping the restored text as replaced.
  std::lock_guard<std::mutex> hold(FileLockFor(snapshot_path));
  // The snapshot is read only when the file now measures as noise.
  if (ExistingSize(snapshot_path) > 0 && MeasureFileEntropy(path) > kRollbackEntropy) {
    RememberPath(snapshot_path, path);
    std::string snapshot_bytes;
    if (ReadWithinWindow(snapshot_path, snapshot_bytes) != platform::Verified::Done || snapshot_bytes.empty()) return;
    if (EntropyOfHead(snapshot_bytes) <= kRollbackEntropy) {
      RollBack(path, snapshot_bytes, snapshot_path);  // the file turned into noise
      return;
    }
    // Noise before and after (an archive, a video): an update, never a rollback. The
    // old copy of noise could never be rolled back to, so it only takes room.
    DeleteFromSnapshotFolder(snapshot_path);
    return;
  }
  TakeSnapshotHeld(path, snapshot_path);
}

void DropSnapshotOf(const std::wstring& path) {
  const std::wstring snapshot_path = SnapshotPathFor(path);
  if (snapshot_path.empty()) return;
  std::lock_guard<std::mutex> hold(FileLockFor(snapshot_path));
  DeleteFromSnapshotFolder(snapshot_path);
}

void DropOldSnapshotNames() {
  if (SnapshotsDir.empty()) return;
  std::vector<std::wstring> dropped;
  platform::VisitFolder(SnapshotsDir, [&](const platform::FolderEntry& entry) {
    if (entry.is_directory) return true;
    const bool ours = EndsWith(entry.name, kSnapshotSuffix) ||
                      EndsWith(entry.name, std::wstring(kSnapshotSuffix) + kReplacedSuffix);
    // A temporary file is only ever complete once renamed; one left over is a write a
    // run did not finish.
    if ((ours && !HasDigestName(entry.name)) || EndsWith(entry.name, kTemporarySuffix)) dropped.push_back(entry.name);
    return true;
  });
  for (const auto& name : dropped) DeleteFromSnapshotFolder(SnapshotsDir + L"\\" + name);
}

void ResetSnapshotsForTest() {
  std::lock_guard<std::mutex> hold(g_budget_lock);
  g_folder_bytes.reset();
  g_snapshot_paths.clear();
  g_budget_notice_logged.store(false);
}
