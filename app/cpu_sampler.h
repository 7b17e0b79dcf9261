#pragma once
// Whole-machine processor utility, sampled at most once per 2 s from any thread.
#include <atomic>

// Last sampled utility in percent (not clamped); 0 until the first sample.
extern std::atomic<float> CpuPercent;

// GPU utilisation in percent where the system counts it (3D engines), else 0.
extern std::atomic<float> GpuPercent;

// Opens the processor query once; later calls do nothing.
void OpenCpuSampler();

// Refreshes CpuPercent when 2 s have passed since the last sample; a caller that
// finds the slot taken returns at once.
void SampleCpu();

// Closes the query at shutdown; later samples do nothing.
void CloseCpuSampler();

// Forgets the query and the last sample (tests only; the stand-in resets too).
void ResetCpuSamplerForTest();
