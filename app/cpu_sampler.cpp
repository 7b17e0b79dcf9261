#include "app/cpu_sampler.h"

#include <cstdint>
#include <mutex>

#include "platform/clock.h"
#include "platform/cpu.h"

std::atomic<float> CpuPercent{0.0f};
std::atomic<float> GpuPercent{0.0f};

namespace {
constexpr uint64_t kSampleSlotMs = 2000;

// Held across the query's collection and its closing, so that a worker still
// sampling at shutdown never uses a closed query.
std::mutex g_query_lock;
bool g_query_open = false;
std::atomic<bool> g_ever_opened{false};
std::atomic<uint64_t> g_last_sample{0};
}  // namespace

void OpenCpuSampler() {
  std::lock_guard<std::mutex> hold(g_query_lock);
  if (g_ever_opened.load()) return;
  if (!platform::CpuQueryOpen()) return;
  g_query_open = true;
  g_ever_opened.store(true);
}

void SampleCpu() {
  const uint64_t now = platform::TickCount64();
  uint64_t last = g_last_sample.load();
  if (now - last < kSampleSlotMs) return;
  if (!g_last_sample.compare_exchange_strong(last, now)) return;  // another caller took the slot

  std::lock_guard<std::mutex> hold(g_query_lock);
  if (!g_query_open) return;
  if (!platform::CpuQueryCollect()) return;
  double percent = 0.0;
  if (platform::CpuQueryRead(percent)) CpuPercent.store(static_cast<float>(percent));
  if (platform::GpuQueryRead(percent)) GpuPercent.store(static_cast<float>(percent));
}

void CloseCpuSampler() {
  std::lock_guard<std::mutex> hold(g_query_lock);
  if (g_query_open) platform::CpuQueryClose();
  g_query_open = false;
}

void ResetCpuSamplerForTest() {
  std::lock_guard<std::mutex> hold(g_query_lock);
  g_query_open = false;
  g_ever_opened.store(false);
  g_last_sample.store(0);
  CpuPercent.store(0.0f);
  GpuPercent.store(0.0f);
}
