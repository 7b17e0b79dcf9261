#include "app/workers.h"

#include <atomic>

#include "app/activity_log.h"
#include "app/cpu_sampler.h"
#include "app/os_profile.h"
#include "app/runtime_state.h"
#include "app/scan_state.h"
#include "app/telemetry.h"
#include "app/throttle.h"
#include "engine/scan_index.h"
#include "inspect/process_watch.h"
#include "inspect/server_guard.h"
#include "platform/threads.h"
#include "response/threat_manager.h"
#include "scan/drives.h"
#include "scan/downloads_watch.h"
#include "upkeep/integrity.h"

namespace {
constexpr uint64_t kSecond = 1000;
std::atomic<bool> g_started{false};

// Sleeps first, then runs the pass, until AppRunning is cleared.
void SleepThenRun(uint64_t period_ms, void (*pass)()) {
  for (;;) {
    SleepForPeriod(period_ms);
    if (!AppRunning.load()) return;
    pass();
  }
}

void IntegrityLearner() { SleepThenRun(120 * kSecond, RunIntegrityCheck); }
void HashReload() { SleepThenRun(600 * kSecond, RunIntegrityCheck); }

void AiManager() {
  SleepThenRun(15 * kSecond, [] {
    RunGuarded(L"ai-manager", [] {
      if (!ScanActive.load()) DecideBatch();
    });
  });
}

void IntegrityPulse() {
  for (;;) {
    SleepForPeriod(IntegrityPulsePeriodMs(UiVisible.load(), CpuPercent.load()));
    if (!AppRunning.load()) return;
    ThrottleForCpu();
    RunIntegrityCheck();
    WriteRunCounters(false);
    SaveScanIndex();
  }
}

void ProcWatch() {
  do {
    RunGuarded(L"monitor-proc", ScanStealthProcesses);
    SleepForPeriod(ProcWatchPeriodMs(UiVisible.load()));
  } while (AppRunning.load());
}
}  // namespace

uint64_t IntegrityPulsePeriodMs(bool ui_visible, float cpu_percent) {
  const bool busy = cpu_percent >= 85.0f;
  if (ui_visible) return (busy ? 65 : 20) * kSecond;
  return (busy ? 135 : 90) * kSecond;
}

uint64_t ProcWatchPeriodMs(bool ui_visible) { return (ui_visible ? 20 : 60) * kSecond; }

std::vector<WorkerSpec> LongLivedWorkers() {
  std::vector<WorkerSpec> workers = {
      {L"q-worker-a", IsolationWorkerJob},   {L"q-worker-b", IsolationWorkerJob},
      {L"integrity-learner", IntegrityLearner}, {L"hash-reload", HashReload},
      {L"ai-manager", AiManager},            {L"downloads-watch", WatchDownloads},
      {L"disk-watch", WatchForNewDisks},            {L"integrity-pulse", IntegrityPulse},
  };
  if (OsProfile.OsClass == kOsServer) workers.push_back({L"server-guard", ServerGuardLoop});
  workers.push_back({L"proc-watch", ProcWatch});
  return workers;
}

void StartLongLivedWorkers() {
  if (g_started.exchange(true)) return;
  for (auto& worker : LongLivedWorkers()) {
    // A thread that cannot be started costs this worker only, as a fault of its step.
    RunGuarded(worker.name, [&worker] {
      platform::StartDetachedThread(worker.name, [worker] { RetryingStep(worker.name, worker.job); });
    });
  }
}

void ResetWorkersForTest() { g_started.store(false); }
