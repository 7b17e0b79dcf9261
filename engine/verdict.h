#pragma once
// The first opinion on a file (system place, local bad hash, trust), the trust
// classification the threat manager asks, and the processes no one may stop.
#include <atomic>
#include <cstdint>
#include <string>
#include <unordered_set>

#include "engine/heuristic_result.h"

// Scrambled engine markers found in this run.
extern std::atomic<int32_t> IntegrityEventCount;

// The twelve image names that are never stopped or examined; exact lookups of
// lower-cased names, so the entry "Xorg" matches nothing.
extern const std::unordered_set<std::wstring> CriticalProcessNames;

// Known product by lower-cased file name, or by a known folder fragment in the path.
bool IsKnownGoodProduct(const std::wstring& path);

// True when the file must be examined further; false when it is allowed. Each
// allowance (safe hash, known product, signature) is asked only when the answer
// without it would be "examine": with the default false and up to 50 events the
// file is allowed whatever they say, so no signature is checked.
bool TrustGate(const std::wstring& path, const std::string& hash8, int32_t event_count, bool fallback);

TrustClass ClassifyTrust(const std::wstring& path, const std::wstring& hash);

// True when the file's hash can change the verdict at this event count: outside
// the system places, with bad hashes listed, or with safe hashes listed once the
// gate examines unknown files. Otherwise the verdict never reads the file.
bool VerdictNeedsHash(const std::wstring& path, int32_t event_count);

// The verdict over a hash already computed ("" when none) at the given event count.
HeuristicResult VerdictOf(const std::wstring& path, const std::wstring& hash, int32_t event_count);

// The verdict: system location, then the bad-hash list, then the trust checks.
HeuristicResult Verdict(const std::wstring& path);
