#pragma once
// The shared back-off by processor load, used inside long scans and watchers.
#include <cstdint>

// Delay for a utility: 160, 80, 25 or 6 ms at 85, 70, 45 or 25 % and more; else 0.
uint32_t ThrottleDelayMs(float cpu_percent);

// Samples the processor and, when it is busy, adds the delay to the throttle
// counter and sleeps it.
void ThrottleForCpu();
