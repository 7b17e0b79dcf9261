#include "platform/clock.h"

#include <string>

#include "platform/standin/machine.h"

// Virtual time: a sleep moves the clock to its end at once and is recorded.
namespace {
void SleepVirtual(uint64_t ms) {
  std::function<void(uint64_t)> hook;
  {
    std::lock_guard<std::mutex> hold(standin::MachineLock());
    auto& machine = standin::TheMachine();
    machine.now_ms += ms;
    machine.sleeps.push_back(ms);
    machine.journal.push_back("Sleep " + std::to_string(ms));
    hook = machine.on_sleep;
  }
  if (hook) hook(ms);
}
}  // namespace

namespace platform {

uint64_t TickCount64() {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  return standin::TheMachine().now_ms;
}

uint64_t SteadyNowMs() { return TickCount64(); }

void SleepUntilSteady(uint64_t deadline_ms) {
  const uint64_t now = SteadyNowMs();
  SleepVirtual(deadline_ms > now ? deadline_ms - now : 0);
}

void SleepMs(uint32_t ms) { SleepVirtual(ms); }

}  // namespace platform

namespace standin {

uint64_t Now() { return platform::TickCount64(); }

void AdvanceClock(uint64_t ms) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().now_ms += ms;
}

std::vector<uint64_t> Sleeps() {
  std::lock_guard<std::mutex> hold(MachineLock());
  return TheMachine().sleeps;
}

void OnSleep(std::function<void(uint64_t)> hook) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().on_sleep = std::move(hook);
}

}  // namespace standin
