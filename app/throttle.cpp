#include "app/throttle.h"

#include "app/cpu_sampler.h"
#include "app/run_counters.h"
#include "platform/clock.h"

uint32_t ThrottleDelayMs(float cpu_percent) {
  if (cpu_percent >= 85.0f) return 160;
  if (cpu_percent >= 70.0f) return 80;
  if (cpu_percent >= 45.0f) return 25;
  if (cpu_percent >= 25.0f) return 6;
  return 0;
}

void ThrottleForCpu() {
  SampleCpu();
  const uint32_t delay = ThrottleDelayMs(CpuPercent.load());
  if (delay == 0) return;
  RunCounters.throttle_ms.fetch_add(delay);
  platform::SleepMs(delay);
}
