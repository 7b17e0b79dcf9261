#pragma once
// The threat manager: what happens to a file the scan found malicious, the isolation
// queue and the batch decision.
#include <string>

#include "engine/heuristic_result.h"

// Takes over a file that the per-file scan flagged, on the scanning thread.
void HandleFlaggedFile(const std::wstring& path, const HeuristicResult& result);

// One q-worker's loop: waits for queued files (at most 400 ms per wait) and
// isolates one at a time until AppRunning is cleared.
void IsolationWorkerJob();

// Waits, at most about 4 s, until the isolation queue is empty and nothing is in flight.
void WaitForIsolationIdle();

// Puts the pending manual-quarantine batch to the user (end of a scan, and the
// "ai-manager" worker while no visible scan runs).
void DecideBatch();
