#include "app/guarded_step.h"

#include <cstdint>
#include <exception>
#include <limits>

#include "app/activity_log.h"
#include "app/runtime_state.h"
#include "app/wide.h"
#include "platform/clock.h"
#include "platform/threads.h"

namespace {
constexpr uint64_t kRetryDelayMs = 2000;
constexpr uint64_t kPauseMs = 30000;
constexpr int kFaultsBeforePause = 50;
}  // namespace

bool RunGuarded(const std::wstring& name, const Job& job) {
  try {
    job();
    return true;
  } catch (const std::exception& e) {
    try {
      AppendActivity(L"[FAULT] " + name + L" recovered: " + WidenBytes(e.what()));
    } catch (...) {
    }
  } catch (...) {
    try {
      AppendActivity(L"[FAULT] " + name + L" recovered from unknown failure.");
    } catch (...) {
    }
  }
  return false;
}

uint64_t DeadlineAfterMs(uint64_t period_ms) {
  const uint64_t now = platform::SteadyNowMs();
  const uint64_t max = std::numeric_limits<uint64_t>::max();
  return period_ms > max - now ? max : now + period_ms;
}

void SleepForPeriod(uint64_t period_ms) { platform::SleepUntilSteady(DeadlineAfterMs(period_ms)); }

void RetryingStep(const std::wstring& name, const Job& job) {
  if (!AppRunning.load()) return;
  int failures = 0;
  for (;;) {
    const bool ok = RunGuarded(name, job);
    if (!AppRunning.load() || ok) return;
    ++failures;
    if (failures > kFaultsBeforePause) {
      AppendActivity(L"[FAULT] " + name + L" paused after repeated failures.");
      SleepForPeriod(kPauseMs);
      failures = 0;
    } else {
      SleepForPeriod(kRetryDelayMs);
    }
    if (!AppRunning.load()) return;
  }
}

bool StartOneShot(const std::wstring& name, Job job) {
  // A thread that cannot be started is a fault of its step, never an end of the process.
  return RunGuarded(name, [&] {
    platform::StartDetachedThread(name, [name, job = std::move(job)] { RunGuarded(name, job); });
  });
}
