#pragma once
// Time: milliseconds since system start, a steady clock, and sleeping on it.
#include <cstdint>

namespace platform {

// Milliseconds since system start (GetTickCount64).
uint64_t TickCount64();

// Steady-clock time in milliseconds; only differences mean anything.
uint64_t SteadyNowMs();

// Sleeps until the steady clock reaches the deadline (returns at once when it has).
void SleepUntilSteady(uint64_t deadline_ms);

// Sleeps for a number of milliseconds.
void SleepMs(uint32_t ms);

}  // namespace platform
