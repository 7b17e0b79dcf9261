#include "response/threat_manager.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <vector>

#include "app/activity_log.h"
#include "app/cpu_sampler.h"
#include "app/guarded_step.h"
#include "app/runtime_state.h"
#include "app/scan_state.h"
#include "app/throttle.h"
#include "engine/hash_lists.h"
#include "engine/path_classes.h"
#include "engine/pe_analysis.h"
#include "engine/verdict.h"
#include "inspect/restart_advice.h"
#include "inspect/run_keys.h"
#include "inspect/services.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/verified_files.h"
#include "response/containment.h"
#include "response/quarantine_store.h"
#include "scan/dropper_rescan.h"
#include "ui/window_events.h"
#include "upkeep/admin_mode.h"

std::mutex BatchLock;

namespace {
constexpr int kIdleChecks = 400;
constexpr uint32_t kIdleCheckMs = 10;
constexpr auto kWorkerWait = std::chrono::milliseconds(400);
constexpr float kBusyCpuPercent = 85.0f;
constexpr std::size_t kQuestionChars = 768;

struct IsolationRequest {
  std::wstring path;
  uint32_t score = 0;
  bool needs_decision = false;
  bool identified = false;              // the file judged was identified through a verified handle
  platform::FileIdentity identity;      // which file that was: only that file is moved
};

struct PendingBatchEntry {
  std::wstring original_path;
  std::wstring stored_path;
  int32_t score = 0;
};

std::mutex g_queue_lock;
std::deque<IsolationRequest> g_isolation_queue;
std::vector<PendingBatchEntry> g_pending_batch;  // guarded by BatchLock

std::size_t QueueLength() {
  std::lock_guard<std::mutex> hold(g_queue_lock);
  return g_isolation_queue.size();
}

void NoticeOncePerBatch(const wchar_t* text) {
  if (!BatchNoticeShown.exchange(true)) ShowTrayBalloon(L"Kestrune", text);
}

// Counts a request in flight for as long as a worker holds it, faults included.
struct InFlight {
  InFlight() { IsolationInFlight.fetch_add(1); }
  ~InFlight() { IsolationInFlight.fetch_sub(1); }
};

void Isolate(const IsolationRequest& request) {
  const InFlight in_flight;
  ThrottleForCpu();
  std::wstring stored;
  if (!QuarantineFile(request.path, stored, request.identified ? &request.identity : nullptr) ||
      !request.needs_decision) {
    return;
  }
  std::lock_guard<std::mutex> hold(BatchLock);
  const bool was_empty = g_pending_batch.empty();
  g_pending_batch.push_back({request.path, stored, static_cast<int32_t>(request.score)});
  HeldCount.store(static_cast<int>(g_pending_batch.size()));
  if (was_empty) NoticeOncePerBatch(L"Threats isolated. One notice for this batch.");
}

void QueueIdentified(const std::wstring& path, uint32_t score, bool needs_decision,
                     const platform::FileIdentity* judged) {
  {
    std::lock_guard<std::mutex> hold(g_queue_lock);
    IsolationRequest request;
    request.path = path;
    request.score = score;
    request.needs_decision = needs_decision;
    if (judged) {
      request.identified = true;
      request.identity = *judged;
    }
    g_isolation_queue.push_back(std::move(request));
  }
  WorkerWake.notify_all();
}

bool BatchIsEmpty() {
  std::lock_guard<std::mutex> hold(BatchLock);
  return g_pending_batch.empty();
}

// Ends the Wi-Fi hold on the way out of an intake or a batch decision, faults
// included, unless it was ended already or left in force for a pending decision.
class WifiHoldEnd {
 public:
  WifiHoldEnd() = default;
  WifiHoldEnd(const WifiHoldEnd&) = delete;
  WifiHoldEnd& operator=(const WifiHoldEnd&) = delete;
  ~WifiHoldEnd() {
    if (open_) RunGuarded(L"wifi-release", ReleaseWifi);
  }
  void Now() {
    ReleaseWifi();
    open_ = false;
  }
  void LeaveForDecision() { open_ = false; }

 private:
  bool open_ = true;
};

// While files are being encrypted, a threat in a user folder goes into quarantine at
// once instead of waiting in the queue or for a question: out of the way at once, and
// still restorable when the judgement was wrong. Its Run values are matched by the
// hash taken before the move, so a dropped copy's start goes too.
void IsolateDuringEncryption(const std::wstring& path, const std::wstring& hash, const platform::FileIdentity* judged,
                             WifiHoldEnd& wifi) {
  AppendActivity(L"[AI] Repeat encryption \u2014 delete, continue other files: " + path);
  NoticeOncePerBatch(L"Threats handled. One notice for this batch.");
  StopProcessesOfImage(path, hash);
  std::wstring stored;
  QuarantineFile(path, stored, judged);
  RunGuarded(L"registry-clean", [&] { RemoveRunValuesFor(path, hash); });
  RescanDropperFolderOnce(path);
  // Files waiting for the user's decision keep the hold until it is made.
  if (BatchIsEmpty()) {
    wifi.Now();
  } else {
    wifi.LeaveForDecision();
  }
}

void ContainAndQueue(const std::wstring& path, const std::wstring& hash, const HeuristicResult& result,
                     const platform::FileIdentity* judged, WifiHoldEnd& wifi) {
  StopProcessesOfImage(path, hash);
  RunGuarded(L"registry-clean", [&] { RemoveRunValuesFor(path, hash); });
  if (AdminMode.load()) RunGuarded(L"service-stop", [&path] { StopServicesFor(path); });
  ThrottleForCpu();
  QueueIdentified(path, static_cast<uint32_t>(std::max(0, result.score)), false, judged);
  NoticeOncePerBatch(L"Threats moved to quarantine. One notice for this batch.");
  AdviseRestart();
  wifi.Now();
  AppendActivity(L"[AI] Queued for isolation: " + path);
  SampleCpu();
  if (CpuPercent.load() >= kBusyCpuPercent) return;  // the neighbours wait for a quieter moment
  RescanDropperFolderOnce(path);
}
}  // namespace

void HandleFlaggedFile(const std::wstring& path, const HeuristicResult& result) {
  // Which file was judged: service stops, throttling and a queue lie between here and
  // the move or delete, and only this very file may be what they act on.
  platform::FileIdentity identity;
  const platform::Verified reached = platform::IdentifyVerified(path, identity);
  const platform::FileIdentity* judged = reached == platform::Verified::Done ? &identity : nullptr;
  const std::wstring hash = ComputeFileSha256(path);
  const TrustClass trust = ClassifyTrust(path, hash);
  if (IsKnownGoodProduct(path) || HasValidSignature(path) || IsMicrosoftFile(path) || IsSafeHash(hash)) {
    AppendActivity(L"[AI] Trusted, not quarantined (" + trust.label + L"): " + path);
    return;
  }
  if (!trust.highRisk && result.score < 8) {
    AppendActivity(L"[AI] Low confidence, not quarantined: " + path);
    return;
  }
  // Reached through a link on its way: whatever is judged there is not what the path
  // names, and nothing is stopped, removed or moved on its account.
  if (reached == platform::Verified::Redirected) {
    AppendActivity(L"[QUARANTINE] Failed: " + path);
    return;
  }
  WifiHoldEnd wifi;
  HoldWifi();
  if (IntegrityEventCount.load() >= 2 && IsUserWritableLocation(path) && !IsSystemLocation(path)) {
    IsolateDuringEncryption(path, hash, judged, wifi);
    return;
  }
  ContainAndQueue(path, hash, result, judged, wifi);
}

void QueueForIsolation(const std::wstring& path, uint32_t score, bool needs_decision) {
  platform::FileIdentity identity;
  const bool identified = platform::IdentifyVerified(path, identity) == platform::Verified::Done;
  QueueIdentified(path, score, needs_decision, identified ? &identity : nullptr);
}

void IsolationWorkerJob() {
  for (;;) {
    IsolationRequest request;
    {
      std::unique_lock<std::mutex> hold(g_queue_lock);
      WorkerWake.wait_for(hold, kWorkerWait, [] { return !g_isolation_queue.empty() || !AppRunning.load(); });
      if (g_isolation_queue.empty()) {
        if (!AppRunning.load()) return;
        continue;
      }
      request = std::move(g_isolation_queue.front());
      g_isolation_queue.pop_front();
    }
    Isolate(request);
  }
}

void WaitForIsolationIdle() {
  for (int check = 0; check < kIdleChecks; ++check) {
    if (QueueLength() == 0 && IsolationInFlight.load() == 0) return;
    platform::SleepMs(kIdleCheckMs);
  }
}

void QuarantineActiveTarget() {
  std::wstring target;
  {
    std::lock_guard<std::mutex> hold(UiStateLock);
    target = ActiveTarget;
  }
  if (target.empty()) {
    AppendActivity(L"[ACTION] No active target to quarantine.");
    return;
  }
  QueueForIsolation(target, 8, true);
  ThreatState.store(0);
  UpdateStatus(L"Target queued for quarantine.", L"");
}

std::wstring BatchQuestionText(int files, int top_score) {
  wchar_t text[kQuestionChars];
  std::swprintf(text, kQuestionChars,
                L"%d threat(s) isolated (highest score %d / 10).\n\nOne decision covers every file in this batch.\n\n"
                L"Yes = delete all   No = keep all (restore)",
                files, top_score);
  return text;
}

bool DeleteStoredFile(const std::wstring& stored_path) {
  // The sidecar goes only with its file: a file kept in the store still knows its origin.
  if (!DeleteThreatFile(stored_path)) return false;
  // A stored file whose sidecar was lost has none to delete, and no failure to report.
  const std::wstring sidecar = stored_path + L".log";
  if (platform::PathExists(sidecar)) DeleteThreatFile(sidecar);
  return true;
}

bool RestoreAndTrust(const std::wstring& stored_path, std::wstring& restored_path) {
  // The file is trusted from now on. Its hash is taken in the store, which only
  // administrators (or the user's own run) can change, not where it is put back,
  // where another program could have swapped it by then.
  const std::wstring hash = ComputeFileSha256(stored_path);
  if (!RestoreQuarantinedFile(stored_path, restored_path)) return false;
  if (!hash.empty()) AddSafeHash(hash);
  return true;
}

namespace {
// Deletes or restores one file of a decided batch; true when it is out of the store.
bool SettleEntry(const PendingBatchEntry& entry, bool delete_all) {
  if (delete_all) return DeleteStoredFile(entry.stored_path);
  std::wstring restored;
  return RestoreAndTrust(entry.stored_path, restored);
}

bool StillStored(const std::wstring& stored_path) {
  platform::FileInfo info;
  return platform::QueryFileInfo(stored_path, info);
}

// Puts the files of a decision that are still held back at the front of the pending
// batch, on every way out of the decision, faults included, and counts what is held.
class UnsettledReturn {
 public:
  UnsettledReturn(const std::vector<PendingBatchEntry>& batch, const std::size_t& next,
                  const std::vector<PendingBatchEntry>& kept)
      : batch_(batch), next_(next), kept_(kept) {}
  UnsettledReturn(const UnsettledReturn&) = delete;
  UnsettledReturn& operator=(const UnsettledReturn&) = delete;
  ~UnsettledReturn() {
    try {
      std::vector<PendingBatchEntry> held = kept_;
      held.insert(held.end(), batch_.begin() + static_cast<std::ptrdiff_t>(std::min(next_, batch_.size())),
                  batch_.end());
      std::lock_guard<std::mutex> hold(BatchLock);
      g_pending_batch.insert(g_pending_batch.begin(), held.begin(), held.end());
      HeldCount.store(static_cast<int>(g_pending_batch.size()));
    } catch (...) {
    }
  }

 private:
  const std::vector<PendingBatchEntry>& batch_;
  const std::size_t& next_;
  const std::vector<PendingBatchEntry>& kept_;
};
}  // namespace

void DecideBatch() {
  WaitForIsolationIdle();
  std::vector<PendingBatchEntry> batch;
  {
    std::lock_guard<std::mutex> hold(BatchLock);
    if (g_pending_batch.empty()) return;
    batch.swap(g_pending_batch);
  }
  // Declared first, so it runs last: the hold ends after every file was dealt with.
  WifiHoldEnd wifi;
  std::size_t next = 0;  // batch[next..] is not decided yet
  std::vector<PendingBatchEntry> kept;
  const UnsettledReturn unsettled(batch, next, kept);
  const int files = static_cast<int>(batch.size());
  int top = 0;
  for (const auto& entry : batch) top = std::max(top, entry.score);
  ShowTrayBalloon(L"Kestrune", L"Threats isolated. One choice for the whole batch.");
  const bool delete_all = platform::AskYesNoTopmost(BatchQuestionText(files, top), L"Kestrune \u2014 Delete or keep?");
  for (; next < batch.size(); ++next) {
    const PendingBatchEntry& entry = batch[next];
    // Each file under its own guard: one on a medium that went away keeps only itself
    // back, and the next decision offers it again.
    bool settled = false;
    RunGuarded(L"batch-decision", [&] { settled = SettleEntry(entry, delete_all); });
    if (!settled && StillStored(entry.stored_path)) kept.push_back(entry);
  }
  AppendActivity(std::wstring(delete_all ? L"[AI] User chose DELETE ALL for " : L"[AI] User chose KEEP ALL for ") +
                 std::to_wstring(files) + L" file(s)");
  if (delete_all) AdviseRestart();
}

void ResetThreatManagerForTest() {
  {
    std::lock_guard<std::mutex> hold(g_queue_lock);
    g_isolation_queue.clear();
  }
  std::lock_guard<std::mutex> hold(BatchLock);
  g_pending_batch.clear();
}
