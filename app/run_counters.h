#pragma once
// What the scanning did during this run; zero at every start, only ever increased.
#include <atomic>
#include <cstdint>

struct RunCountersData {
  std::atomic<uint64_t> scanned{0};
  std::atomic<uint64_t> skipped_unchanged{0};
  std::atomic<uint64_t> deferred_other_av{0};
  std::atomic<uint64_t> quarantined{0};
  std::atomic<uint64_t> throttle_ms{0};
};

extern RunCountersData RunCounters;
