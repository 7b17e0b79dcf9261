#pragma once
// The run counters written as one line to telemetry.txt: a local record that
// nothing sends anywhere.
#include <string>

// The line: "scanned=N skipped_unchanged=N deferred_other_av=N quarantined=N throttle_ms=N".
std::string RunCountersLine();

// Writes the counters at most once per three minutes, or at once when forced;
// nothing when no file was scanned, skipped, deferred or quarantined.
void WriteRunCounters(bool force);

// Forgets the last write (tests only).
void ResetTelemetryForTest();
