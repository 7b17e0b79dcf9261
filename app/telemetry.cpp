#include "app/telemetry.h"

#include <atomic>
#include <cstdint>
#include <mutex>

#include "app/data_dir.h"
#include "app/run_counters.h"
#include "app/text_file.h"
#include "platform/clock.h"

namespace {
constexpr uint64_t kTelemetrySlotMs = 180000;
std::atomic<uint64_t> g_last_write{0};
// Forced writes may overlap; each writes the whole file under this lock.
std::mutex g_file_lock;

struct CounterSnapshot {
  uint64_t scanned, skipped, deferred, quarantined, throttle;
};

CounterSnapshot TakeSnapshot() {
  return {RunCounters.scanned.load(), RunCounters.skipped_unchanged.load(), RunCounters.deferred_other_av.load(),
          RunCounters.quarantined.load(), RunCounters.throttle_ms.load()};
}

std::string LineOf(const CounterSnapshot& c) {
  return "scanned=" + std::to_string(c.scanned) + " skipped_unchanged=" + std::to_string(c.skipped) +
         " deferred_other_av=" + std::to_string(c.deferred) + " quarantined=" + std::to_string(c.quarantined) +
         " throttle_ms=" + std::to_string(c.throttle);
}
}  // namespace

std::string RunCountersLine() { return LineOf(TakeSnapshot()); }

void WriteRunCounters(bool force) {
  const uint64_t now = platform::TickCount64();
  uint64_t last = g_last_write.load();
  if (!force && last != 0 && now - last < kTelemetrySlotMs) return;
  if (!g_last_write.compare_exchange_strong(last, now) && !force) return;
  g_last_write.store(now);

  if (TelemetryPath.empty()) return;
  // Counted under the lock, so that a slower write of older counts cannot land after
  // a later one (the shutdown's forced write) and leave the file behind.
  std::lock_guard<std::mutex> hold(g_file_lock);
  const CounterSnapshot snapshot = TakeSnapshot();
  if (snapshot.scanned + snapshot.skipped + snapshot.deferred + snapshot.quarantined == 0) return;
  WriteTextFile(TelemetryPath, LineOf(snapshot) + "\n");
}

void ResetTelemetryForTest() { g_last_write.store(0); }
