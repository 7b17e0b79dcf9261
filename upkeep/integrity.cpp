#include "upkeep/integrity.h"

#include <array>
#include <cstdint>
#include <mutex>

#include "app/activity_log.h"
#include "app/data_dir.h"
#include "engine/hash_lists.h"
#include "engine/pe_analysis.h"
#include "engine/verdict.h"
#include "platform/files.h"
#include "platform/verified_files.h"
#include "upkeep/self_check.h"

namespace {
constexpr std::size_t kMarkerReadChunk = 4096;
constexpr uint64_t kShortestHealthyMarker = 8;

// The workers and the disinfection pass may all reach the routine at once; one pass
// at a time keeps two restores from copying the same files together.
std::mutex IntegrityLock;

void RefreshBackupLocked() {
  if (EngineMarkerPath.empty() || EngineMarkerBackupPath.empty()) return;
  if (!platform::PathExists(EngineMarkerPath)) return;
  if (IsMarkerScrambled(EngineMarkerPath)) return;  // noise never overwrites the backup
  // The backup is kept read-only, which a copy cannot replace: lift it first, and put
  // it back whatever the copy did, so a failed refresh leaves the old backup guarded.
  platform::SetReadOnlyVerified(EngineMarkerBackupPath, false);
  platform::CopyFileOver(EngineMarkerPath, EngineMarkerBackupPath);
  platform::SetReadOnlyVerified(EngineMarkerBackupPath, true);
}
}  // namespace

bool IsMarkerScrambled(const std::wstring& path) {
  if (!platform::PathExists(path)) return true;
  std::array<uint64_t, 256> counts{};
  uint64_t total = 0;
  const bool read = platform::ReadFileInChunks(path, kMarkerReadChunk, [&](std::string_view chunk) {
    for (const char byte : chunk) ++counts[static_cast<unsigned char>(byte)];
    total += chunk.size();
    return true;
  });
  if (!read || total < kShortestHealthyMarker) return true;
  return EntropyOfCounts(counts, total) > kScrambledEntropy;
}

void RefreshMarkerBackup() {
  std::lock_guard<std::mutex> hold(IntegrityLock);
  RefreshBackupLocked();
}

void RunIntegrityCheck() {
  std::lock_guard<std::mutex> hold(IntegrityLock);
  if (EngineMarkerPath.empty()) return;
  CheckExecutableReference();
  // A missing marker is no event: the next list load writes a fresh one.
  if (!platform::PathExists(EngineMarkerPath) || !IsMarkerScrambled(EngineMarkerPath)) return;
  const int32_t event = IntegrityEventCount.fetch_add(1) + 1;
  AppendActivity(L"[INTEGRITY] Engine marker looks scrambled (event " + std::to_wstring(event) +
                 L"). Restoring backup.");
  platform::SetReadOnlyVerified(EngineMarkerBackupPath, false);
  platform::SetReadOnlyVerified(EngineMarkerPath, false);
  if (EngineMarkerBackupPath.empty() || !platform::PathExists(EngineMarkerBackupPath)) return;
  const bool restored = platform::CopyFileOver(EngineMarkerBackupPath, EngineMarkerPath);
  platform::SetReadOnlyVerified(EngineMarkerBackupPath, true);
  if (restored) LoadBadHashes();
}

void RunIntegrityBaseline() {
  RefreshMarkerBackup();
  AppendActivity(L"[INTEGRITY] Definition backup refreshed.");
}
