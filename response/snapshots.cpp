#include "response/snapshots.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <optional>
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

// The folder's size is measured once and then kept up to date by every write, so
// that the budget costs no listing per file.
std::mutex g_budget_lock;
std::optional<uint64_t> g_folder_bytes;
std::atomic<bool> g_budget_notice_logged{false};
std::atomic<uint64_t> g_temp_serial{0};

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

// True when growing the folder by the bytes stays inside the budget and leaves the
// volume its free share.
bool FitsBudget(uint64_t growth) {
  {
    std::lock_guard<std::mutex> hold(g_budget_lock);
    if (!g_folder_bytes) g_folder_bytes = MeasureFolderBytes();
    if (*g_folder_bytes + growth > kSnapshotFolderBudgetBytes) return false;
  }
  uint64_t free_bytes = 0;
  uint64_t total_bytes = 0;
  if (!platform::QueryFreeSpace(SnapshotsDir, free_bytes, total_bytes)) return false;
  return free_bytes >= growth && free_bytes - growth >= total_bytes / 100 * kSnapshotMinFreePercent;
}

void AccountFolderChange(uint64_t old_bytes, uint64_t new_bytes) {
  std::lock_guard<std::mutex> hold(g_budget_lock);
  if (!g_folder_bytes) return;  // measured afresh at the next budget test
  *g_folder_bytes = *g_folder_bytes - std::min(*g_folder_bytes, old_bytes) + new_bytes;
}

// Writes the bytes to a temporary file beside the target and puts it in the target's
// place in one step: a failure at any point leaves the target as it was.
bool ReplaceContent(const std::wstring& target, const std::string& bytes) {
  const std::wstring temporary = target + L"." + std::to_wstring(g_temp_serial.fetch_add(1)) + L".kav.tmp";
  if (platform::WriteFileBytes(temporary, bytes) && platform::ReplaceFileWith(target, temporary)) return true;
  platform::DeleteFileAt(temporary);
  return false;
}

// Writes a file of the snapshot folder, keeping the folder's size up to date.
bool WriteIntoSnapshotFolder(const std::wstring& target, const std::string& bytes) {
  const uint64_t old_bytes = ExistingSize(target);
  if (!ReplaceContent(target, bytes)) return false;
  AccountFolderChange(old_bytes, bytes.size());
  return true;
}

void DeleteFromSnapshotFolder(const std::wstring& target) {
  const uint64_t old_bytes = ExistingSize(target);
  if (old_bytes > 0 && platform::DeleteFileAt(target)) AccountFolderChange(old_bytes, 0);
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

// Puts the snapshot back over the file, through a verified handle only: a path that now
// leads elsewhere is refused before anything is written. What the rollback replaces is
// kept first beside the snapshot, so that a wrong rollback can be undone by hand;
// without that copy the file is left alone.
void RollBack(const std::wstring& path, const std::string& snapshot_bytes, const std::wstring& snapshot_path) {
  std::string current;
  const platform::Verified read = ReadWithinWindow(path, current);
  if (LeadsElsewhere(read)) {
    NoteRefusedRollback(path);
    return;
  }
  if (read != platform::Verified::Done || current.empty()) return;
  const std::wstring kept = ReplacedContentPathFor(snapshot_path);
  const uint64_t old_kept = ExistingSize(kept);
  if (current.size() > old_kept && !FitsBudget(current.size() - old_kept)) {
    NoteBudgetReached();
    return;
  }
  if (!WriteIntoSnapshotFolder(kept, current)) return;
  // Never a create: a target that stopped being a plain file of its own meanwhile is
  // not written.
  const platform::Verified written = platform::ReplaceVerified(path, snapshot_bytes);
  if (LeadsElsewhere(written)) NoteRefusedRollback(path);
  if (written != platform::Verified::Done) return;
  AppendActivity(L"[ROLLBACK] Restored after change: " + path);
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

std::wstring ReplacedContentPathFor(const std::wstring& snapshot_path) { return snapshot_path + kReplacedSuffix; }

bool TakeSnapshot(const std::wstring& path, const std::wstring& snapshot_path) {
  // The size only spares reading big files; the bounded read decides.
  platform::FileInfo info;
  if (!platform::QueryFileInfo(path, info) || info.is_directory || !InSnapshotWindow(info.size)) return false;
  std::string bytes;
  if (ReadWithinWindow(path, bytes) != platform::Verified::Done || bytes.empty()) return false;
  if (EntropyOfHead(bytes) > kRollbackEntropy) return false;  // a copy of noise could never be rolled back to
  const uint64_t old_bytes = ExistingSize(snapshot_path);
  if (old_bytes == 0 && !FitsBudget(bytes.size())) {
    NoteBudgetReached();
    return false;
  }
  return WriteIntoSnapshotFolder(snapshot_path, bytes);
}

void SnapshotOrRestore(const std::wstring& path) {
  if (path.empty() || IsSystemLocation(path) || StartsWith(path, SnapshotsDir) || StartsWith(path, QuarantineDir)) {
    return;
  }
  const std::wstring snapshot_path = SnapshotPathFor(path);
  if (snapshot_path.empty()) return;
  // The snapshot is read only when the file now measures as noise.
  if (ExistingSize(snapshot_path) > 0 && MeasureFileEntropy(path) > kRollbackEntropy) {
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
  TakeSnapshot(path, snapshot_path);
}

void DropOldSnapshotNames() {
  if (SnapshotsDir.empty()) return;
  std::vector<std::wstring> old_names;
  platform::VisitFolder(SnapshotsDir, [&](const platform::FolderEntry& entry) {
    const bool ours = EndsWith(entry.name, kSnapshotSuffix) ||
                      EndsWith(entry.name, std::wstring(kSnapshotSuffix) + kReplacedSuffix);
    if (!entry.is_directory && ours && !HasDigestName(entry.name)) old_names.push_back(entry.name);
    return true;
  });
  for (const auto& name : old_names) DeleteFromSnapshotFolder(SnapshotsDir + L"\\" + name);
}

void ResetSnapshotsForTest() {
  std::lock_guard<std::mutex> hold(g_budget_lock);
  g_folder_bytes.reset();
  g_budget_notice_logged.store(false);
}
