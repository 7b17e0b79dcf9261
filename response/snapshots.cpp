#include "response/snapshots.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <optional>

#include "app/activity_log.h"
#include "app/data_dir.h"
#include "engine/path_classes.h"
#include "engine/pe_analysis.h"
#include "platform/files.h"

namespace {
constexpr std::size_t kDigestChars = 16;
constexpr wchar_t kSnapshotSuffix[] = L".snapshot";
constexpr wchar_t kReplacedSuffix[] = L".replaced";

// The folder's size is measured once and then kept up to date by every write, so
// that the budget costs no listing per file.
std::mutex g_budget_lock;
std::optional<uint64_t> g_folder_bytes;
std::atomic<bool> g_budget_notice_logged{false};
std::atomic<uint64_t> g_temp_serial{0};

// FNV-1a over the lower-cased path: the same file named in another letter case
// keeps one snapshot.
std::wstring DigestOf(const std::wstring& path) {
  uint64_t hash = 14695981039346656037ull;
  for (const wchar_t c : ToLowerAscii(path)) {
    const uint32_t unit = static_cast<uint32_t>(c);
    for (int shift = 0; shift < 32; shift += 8) {
      hash ^= (unit >> shift) & 0xFF;
      hash *= 1099511628211ull;
    }
  }
  wchar_t text[kDigestChars + 1];
  std::swprintf(text, kDigestChars + 1, L"%016llx", static_cast<unsigned long long>(hash));
  return text;
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

// Reads a whole file that lies in the snapshot window.
bool ReadSmallFile(const std::wstring& path, std::string& bytes) {
  platform::FileInfo info;
  if (!platform::QueryFileInfo(path, info) || info.is_directory || !InSnapshotWindow(info.size)) return false;
  return platform::ReadFileBytes(path, bytes) && InSnapshotWindow(bytes.size());
}

// Puts the snapshot back over the file. What the rollback replaces is kept first
// beside the snapshot, so that a wrong rollback can be undone by hand; without that
// copy the file is left alone.
void RollBack(const std::wstring& path, const std::string& snapshot_bytes, const std::wstring& snapshot_path) {
  std::string current;
  if (!ReadSmallFile(path, current)) return;
  const std::wstring kept = ReplacedContentPathFor(snapshot_path);
  const uint64_t old_kept = ExistingSize(kept);
  if (current.size() > old_kept && !FitsBudget(current.size() - old_kept)) {
    NoteBudgetReached();
    return;
  }
  if (!WriteIntoSnapshotFolder(kept, current)) return;
  if (!ReplaceContent(path, snapshot_bytes)) return;
  AppendActivity(L"[ROLLBACK] Restored after change: " + path);
}
}  // namespace

std::wstring SnapshotPathFor(const std::wstring& path) {
  if (SnapshotsDir.empty()) return L"";
  std::wstring name = path;
  for (wchar_t& c : name) {
    if (c == L'\\' || c == L'/' || c == L':') c = L'_';
  }
  if (name.size() > kSnapshotNameChars) {
    const std::size_t keep = kSnapshotNameChars - kDigestChars - 1;
    name = name.substr(name.size() - keep) + L"~" + DigestOf(path);
  }
  return SnapshotsDir + L"\\" + name + kSnapshotSuffix;
}

std::wstring ReplacedContentPathFor(const std::wstring& snapshot_path) { return snapshot_path + kReplacedSuffix; }

bool TakeSnapshot(const std::wstring& path, const std::wstring& snapshot_path) {
  std::string bytes;
  if (!ReadSmallFile(path, bytes)) return false;
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
    if (!ReadSmallFile(snapshot_path, snapshot_bytes)) return;
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

void ResetSnapshotsForTest() {
  std::lock_guard<std::mutex> hold(g_budget_lock);
  g_folder_bytes.reset();
  g_budget_notice_logged.store(false);
}
