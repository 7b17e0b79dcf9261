#include "platform/cpu.h"

#include <windows.h>
#include <pdh.h>
#include <pdhmsg.h>

#include <vector>

namespace platform {

namespace {
// The one query kept across calls; the caller serialises every use of it.
PDH_HQUERY g_query = nullptr;
PDH_HCOUNTER g_counter = nullptr;
PDH_HCOUNTER g_gpu_counter = nullptr;  // one instance per GPU engine; absent on many systems
}  // namespace

bool CpuQueryOpen() {
  if (g_query) return true;
  if (PdhOpenQueryW(nullptr, 0, &g_query) != ERROR_SUCCESS) {
    g_query = nullptr;
    return false;
  }
  PdhAddEnglishCounterW(g_query, L"\\ProcessorInformation(_Total)\\% Processor Utility", 0, &g_counter);
  if (PdhAddEnglishCounterW(g_query, L"\\GPU Engine(*engtype_3D)\\Utilization Percentage", 0, &g_gpu_counter) !=
      ERROR_SUCCESS) {
    g_gpu_counter = nullptr;
  }
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

bool GpuQueryRead(double& percent) {
  if (!g_gpu_counter) return false;
  DWORD bytes = 0;
  DWORD count = 0;
  if (PdhGetFormattedCounterArrayW(g_gpu_counter, PDH_FMT_DOUBLE, &bytes, &count, nullptr) != static_cast<PDH_STATUS>(PDH_MORE_DATA)) {
    return false;
  }
  std::vector<unsigned char> buffer(bytes);
  auto* items = reinterpret_cast<PDH_FMT_COUNTERVALUE_ITEM_W*>(buffer.data());
  if (PdhGetFormattedCounterArrayW(g_gpu_counter, PDH_FMT_DOUBLE, &bytes, &count, items) != ERROR_SUCCESS) {
    return false;
  }
  // The 3D engines of all processes together, as Task Manager shows the GPU.
  double total = 0.0;
  for (DWORD i = 0; i < count; ++i) {
    if (items[i].FmtValue.CStatus == ERROR_SUCCESS) total += items[i].FmtValue.doubleValue;
  }
  percent = total > 100.0 ? 100.0 : total;
  return true;
}

void CpuQueryClose() {
  if (g_query) PdhCloseQuery(g_query);
  g_query = nullptr;
  g_counter = nullptr;
  g_gpu_counter = nullptr;
}

}  // namespace platform
