#pragma once
// Whole-machine processor and GPU utilisation through one performance-data query.

namespace platform {

// Opens the query with the processor-utility counter and primes it; false on failure.
bool CpuQueryOpen();

// Collects one sample; false on failure.
bool CpuQueryCollect();

// The latest collected utility in percent; false when no value can be formatted.
bool CpuQueryRead(double& percent);

// The latest collected GPU utilisation of the 3D engines in percent (0 to 100);
// false where the system has no such counter.
bool GpuQueryRead(double& percent);

// Closes the query when it is open.
void CpuQueryClose();

}  // namespace platform
