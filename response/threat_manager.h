#pragma once
// The threat manager: what happens to a file the scan found malicious, the isolation
// queue drained into quarantine by two workers, and the one question per batch of
// files the user sent to quarantine by hand.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "engine/heuristic_result.h"

// Guards the pending batch; never held together with the queue's lock.
extern std::mutex BatchLock;

// Takes over a file that the per-file scan flagged, on the scanning thread: trusted
// and low-confidence files are let go; the others are cut off and queued for
// isolation (or, while files are being encrypted, quarantined at once). The Wi-Fi
// hold taken for it ends on every way out, faults included.
void HandleFlaggedFile(const std::wstring& path, const HeuristicResult& result);

// Queues a file for isolation and wakes the workers. Files with the decision mark join
// the pending batch once isolated.
void QueueForIsolation(const std::wstring& path, uint32_t score, bool needs_decision);

// One q-worker's loop: waits for queued files (at most 400 ms per wait) and isolates
// one at a time until AppRunning is cleared and the queue is empty.
void IsolationWorkerJob();

// Waits, at most about 4 s, until the isolation queue is empty and nothing is in flight.
void WaitForIsolationIdle();

// The body of "disinfect": queues the dashboard's active target for quarantine and a decision.
void QuarantineActiveTarget();

// Puts the pending batch to the user in one Delete-or-keep question (end of a scan,
// and the "ai-manager" worker while no visible scan runs); nothing when it is empty.
// Each file is settled under its own guard; one that cannot be deleted or restored
// stays in quarantine and in the pending batch for the next decision.
void DecideBatch();

// A kept file: puts the stored file back (RestoreQuarantinedFile) and adds the hash
// it had in the store to the safe list, so that it is not isolated again. True with
// the path it was put back to.
bool RestoreAndTrust(const std::wstring& stored_path, std::wstring& restored_path);

// A deleted file: the stored file, then its sidecar when it has one; true when the
// stored file is gone (its sidecar stays when the file could not be deleted).
bool DeleteStoredFile(const std::wstring& stored_path);

// The batch question's text for n files with the highest score top.
std::wstring BatchQuestionText(int files, int top_score);

// Empties the queue and the batch (tests only).
void ResetThreatManagerForTest();
