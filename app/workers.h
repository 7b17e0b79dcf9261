#pragma once
// The long-lived workers: one detached thread each, started once.
#include <string>
#include <vector>

#include "app/guarded_step.h"

struct WorkerSpec {
  std::wstring name;
  Job job;
};

// The workers this machine runs, in start order ("server-guard" only on a server).
std::vector<WorkerSpec> LongLivedWorkers();

// Starts every worker as a RetryingStep on its own detached thread; later calls do nothing.
void StartLongLivedWorkers();

// The workers' periods, in milliseconds.
uint64_t IntegrityPulsePeriodMs(bool ui_visible, float cpu_percent);
uint64_t ProcWatchPeriodMs(bool ui_visible);

// Allows StartLongLivedWorkers to run again (tests only).
void ResetWorkersForTest();
