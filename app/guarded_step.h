#pragma once
// Named units of work whose faults are logged and survived.
#include <functional>
#include <string>

using Job = std::function<void()>;

// Runs the job on this thread. True when it returned normally; when it threw,
// one "[FAULT] " line names the step and the result is false. Never throws.
bool RunGuarded(const std::wstring& name, const Job& job);

// The loop of a long-lived worker: reruns a faulting job every 2 s, pausing 30 s
// after more than 50 faults in a row; ends when the job returns normally or
// AppRunning is cleared.
void RetryingStep(const std::wstring& name, const Job& job);

// Runs the job as a guarded step on a new detached thread. False, with one "[FAULT] "
// line for the step, when the thread cannot be started.
bool StartOneShot(const std::wstring& name, Job job);

// Steady-clock deadline now + period, saturating at the clock's maximum.
uint64_t DeadlineAfterMs(uint64_t period_ms);

// Sleeps for the period on the steady clock.
void SleepForPeriod(uint64_t period_ms);
