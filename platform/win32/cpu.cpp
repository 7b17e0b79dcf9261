#include "platform/cpu.h"

#include <windows.h>
#include <pdh.h>

namespace platform {

namespace {
// The one query kept across calls; the caller serialises every use of it.
PDH_HQUERY g_query = nullptr;
PDH_HCOUNTER g_counter = nullptr;
}  // namespace

bool CpuQueryOpen() {
  if (g_query) return true;
  if (PdhOpenQueryW(nullptr, 0, &g_query) != ERROR_SUCCESS) {
    g_query = nullptr;
    return false;
  }
  PdhAddEnglishCounterW(g_query, L"\\ProcessorInformation(_Total)\\% Processor Utility", 0, &g_counter);
  PdhCollectQueryData(g_query);  // primes the counter: utility needs two samples
  return true;
}

bool CpuQueryCollect() { return g_query && PdhCollectQueryData(g_query) == ERROR_SUCCESS; }

bool CpuQueryRead(double& percent) {
  if (!g_counter) return false;
  PDH_FMT_COUNTERVALUE value{};
  if (PdhGetFormattedCounterValue(g_counter, PDH_FMT_DOUBLE, nullptr, &value) != ERROR_SUCCESS) return false;
  percent = value.doubleValue;
  return true;
}

void CpuQueryClose() {
  if (g_query) PdhCloseQuery(g_query);
  g_query = nullptr;
  g_counter = nullptr;
}

}  // namespace platform
