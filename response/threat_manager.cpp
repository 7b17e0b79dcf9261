#include "response/threat_manager.h"

#include <chrono>
#include <deque>
#include <mutex>
#include <string>

#include "app/runtime_state.h"

namespace {
std::mutex g_queue_lock;
std::deque<std::wstring> g_isolation_queue;
}  // namespace

void IsolationWorkerJob() {
  while (AppRunning.load()) {
    std::unique_lock<std::mutex> hold(g_queue_lock);
    WorkerWake.wait_for(hold, std::chrono::milliseconds(400),
                        [] { return !g_isolation_queue.empty() || !AppRunning.load(); });
    if (g_isolation_queue.empty()) continue;
    g_isolation_queue.pop_front();  // isolation of the file joins with the quarantine store
  }
}

void RunBatchDecision() {}
