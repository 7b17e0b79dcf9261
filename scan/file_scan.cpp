#include "scan/file_scan.h"

#include "app/activity_log.h"
#include "app/data_dir.h"
#include "app/guarded_step.h"
#include "app/run_counters.h"
#include "app/scan_state.h"
#include "engine/path_classes.h"
#include "engine/scan_index.h"
#include "engine/scorer.h"
#include "platform/files.h"
#include "response/snapshots.h"
#include "response/threat_manager.h"
#include "ui/window_events.h"

namespace {
constexpr uint32_t kSharingViolation = 32;
constexpr uint32_t kLockViolation = 33;

bool StartsWith(const std::wstring& text, const std::wstring& prefix) {
  return !prefix.empty() && text.compare(0, prefix.size(), prefix) == 0;
}

bool IsKnown(const std::wstring& path) {
  std::lock_guard<std::mutex> hold(ScanIndexLock);
  return ScanIndex.find(path) != ScanIndex.end();
}

void RecordStamp(const std::wstring& path, const FileStamp& stamp) {
  std::lock_guard<std::mutex> hold(ScanIndexLock);
  if (ScanIndex.size() > kScanIndexLimit) ScanIndex.clear();
  ScanIndex[path] = stamp;
}

bool IsUnchanged(const std::wstring& path, const FileStamp& stamp) {
  if (stamp.last_write_time == 0 && stamp.size == 0) return false;
  std::lock_guard<std::mutex> hold(ScanIndexLock);
  const auto found = ScanIndex.find(path);
  return found != ScanIndex.end() && found->second == stamp;
}

void HandOffFlagged(const std::wstring& path, const HeuristicResult& result) {
  AppendActivity(L"[AI] Manager taking over: " + result.reason);
  ThreatState.store(2);
  UpdateStatus(L"Manager handling threat", path);
  ContainCount.fetch_add(1);
  HandleFlaggedFile(path, result);
}

void ReportSuspicious(const std::wstring& path, const HeuristicResult& result) {
  AppendActivity(L"[HEURISTIC] " + result.reason + L" file=" + path);
  ThreatState.store(1);
  UpdateStatus(L"Heuristic review (not deleted)", path);
  if ((result.score == 6 || result.score == 7) && !WarningNoticeShown.exchange(true)) {
    ShowTrayBalloon(L"Kestrune", L"This app might be dangerous. No action taken \u2014 warning only.");
  }
}
}  // namespace

FileStamp ReadFileStamp(const std::wstring& path) {
  FileStamp stamp;
  platform::QueryFileStamp(path, stamp.last_write_time, stamp.size);
  return stamp;
}

bool IsUnchangedSinceLastScan(const std::wstring& path) { return IsUnchanged(path, ReadFileStamp(path)); }

void ScanFile(const std::wstring& path) {
  if (path.empty()) return;
  // Quarantined files, and our own copies of scanned files, are never judged again.
  if (StartsWith(path, QuarantineDir) || StartsWith(path, SnapshotsDir)) return;
  // The readiness test's open is the lock probe too: one open tells a file held by
  // another program (typically another scanner) from one that is not ready at all.
  // A link is judged as the file it leads to: its own size is 0.
  platform::FileInfo info;
  const bool ready_by_name = IsCompleteFileName(path) && QueryJudgedFileInfo(path, info) && !info.is_directory &&
                             info.size > 0;
  const uint32_t probe = ready_by_name ? platform::ProbeOpenForReading(path) : 0;
  if (probe == kSharingViolation || probe == kLockViolation) {
    RunCounters.deferred_other_av.fetch_add(1);
    return;
  }
  if (!ready_by_name || probe != 0) {
    AppendActivity(L"[DOWNLOAD] Allowed to finish, will scan after: " + path);
    return;
  }

  const bool known = IsKnown(path);
  // The status just read is the stamp (a link's is its target's).
  FileStamp stamp{info.last_write_time, info.size};
  if (IsUnchanged(path, stamp)) {
    RunCounters.skipped_unchanged.fetch_add(1);
    return;
  }
  // A tracked file that turned into noise is put back before it is judged; what is
  // judged is then the restored content.
  if (known) {
    SnapshotOrRestore(path);
    stamp = ReadFileStamp(path);
  }

  RunCounters.scanned.fetch_add(1);
  HeuristicResult result;
  JudgedOpen opened;
  ScoreFileOutcome(path, result, &opened);
  // The stamp read before the judgement is the one recorded: content written while it
  // ran (a payload swapped in, encryption under way) differs from it and is judged at
  // the next event. A file the judgement could not read as far as it needed is not
  // recorded at all, so that the next event or scan judges it again.
  if (!opened.tried || (opened.error == 0 && !opened.read_failed)) {
    RecordStamp(path, stamp);
  } else {
    AppendActivity(L"[SCAN] Could not be read, judged on what was read and left for another scan: " + path);
  }
  // A first snapshot, except of a file just judged malicious: a copy of it outside
  // the quarantine would only keep the threat on disk.
  if (!known && !result.flagged) SnapshotOrRestore(path);

  if (result.flagged) {
    // A known file was snapshotted above, before it was judged: that copy of the
    // threat goes too. Its kept versions are what rollbacks replaced, and stay.
    DropSnapshotOf(path);
    HandOffFlagged(path, result);
  } else if (result.suspicious) {
    ReportSuspicious(path, result);
  }
}

void ScanFileStep(const std::wstring& path) {
  RunGuarded(L"file-scan", [&path] { ScanFile(path); });
}
