#pragma once
// The threat manager's background work: the isolation queue and the batch decision.

// One q-worker's loop: waits for queued files (at most 400 ms per wait) and
// isolates one at a time until AppRunning is cleared.
void IsolationWorkerJob();

// Decides the pending manual-quarantine batch (called while no scan is visible).
void RunBatchDecision();
