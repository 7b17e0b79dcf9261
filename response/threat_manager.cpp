#include "response/threat_manager.h"

#include <chrono>
#include <deque>
#include <mutex>
#include <string>

#include "app/runtime_state.h"
#include "app/scan_state.h"
#include "platform/clock.h"

namespace {
constexpr int kIdleChecks = 400;
constexpr uint32_t kIdleCheckMs = 10;

std::mutex g_queue_lock;
std::deque<std::wstring> g_isolation_queue;

std::size_t QueueLength() {
  std::lock_guard<std::mutex> hold(g_queue_lock);
  return g_isolation_queue.size();
}
}  // namespace

// Containment and isolation of flagged files join with the quarantine store; until
// then the scan's own lines and status are all a finding gets.
void HandleFlaggedFile(const std::wstring& /*path*/, const HeuristicResult& /*result*/) {}

void IsolationWorkerJob() {
  while (AppRunning.load()) {
    std::unique_lock<std::mutex> hold(g_queue_lock);
    WorkerWake.wait_for(hold, std::chrono::milliseconds(400),
                        [] { return !g_isolation_queue.empty() || !AppRunning.load(); });
    if (g_isolation_queue.empty()) continue;
    g_isolation_queue.pop_front();  // isolation of the file joins with the quarantine store
  }
}

void WaitForIsolationIdle() {
  for (int check = 0; check < kIdleChecks; ++check) {
    if (QueueLength() == 0 && IsolationInFlight.load() == 0) return;
    platform::SleepMs(kIdleCheckMs);
  }
}

void DecideBatch() {
  WaitForIsolationIdle();
  // The pending batch and its one question join with the quarantine store.
}
