#include "platform/clock.h"

#include <windows.h>

#include <chrono>
#include <thread>

namespace platform {

uint64_t TickCount64() { return GetTickCount64(); }

uint64_t SteadyNowMs() {
  const auto since_epoch = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since_epoch).count());
}

void SleepUntilSteady(uint64_t deadline_ms) {
  const uint64_t now = SteadyNowMs();
  if (deadline_ms <= now) return;
  std::this_thread::sleep_for(std::chrono::milliseconds(deadline_ms - now));
}

void SleepMs(uint32_t ms) { Sleep(ms); }

}  // namespace platform
