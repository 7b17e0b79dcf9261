#include "upkeep/self_check.h"

#include <cstdint>
#include <mutex>
#include <string>

#include "app/activity_log.h"
#include "platform/crypto.h"
#include "platform/files.h"
#include "platform/process_setup.h"

namespace {
struct ExecutableState {
  uint64_t last_write_time = 0;
  uint64_t size = 0;
  std::string digest;  // "" when it could not be read
};

std::mutex g_reference_lock;
bool g_taken = false;
std::wstring g_path;
ExecutableState g_reference;

// The stamp alone, which is cheap enough for every pulse.
ExecutableState StampOf(const std::wstring& path) {
  ExecutableState state;
  platform::QueryFileStamp(path, state.last_write_time, state.size);
  return state;
}

bool SameStamp(const ExecutableState& a, const ExecutableState& b) {
  return a.last_write_time == b.last_write_time && a.size == b.size;
}

ExecutableState StateOf(const std::wstring& path) {
  ExecutableState state = StampOf(path);
  if (!platform::Sha256OfFile(path, state.digest)) state.digest.clear();
  return state;
}
}  // namespace

void TakeExecutableReference() {
  const std::wstring path = platform::ModuleFilePath();
  const ExecutableState state = path.empty() ? ExecutableState() : StateOf(path);
  std::lock_guard<std::mutex> hold(g_reference_lock);
  g_path = path;
  g_reference = state;
  g_taken = !path.empty();
}

void CheckExecutableReference() {
  std::wstring path;
  ExecutableState reference;
  {
    std::lock_guard<std::mutex> hold(g_reference_lock);
    if (!g_taken) return;
    path = g_path;
    reference = g_reference;
  }
  ExecutableState now = StampOf(path);
  if (SameStamp(now, reference)) return;
  now = StateOf(path);
  const bool changed = now.digest != reference.digest;
  {
    std::lock_guard<std::mutex> hold(g_reference_lock);
    g_reference = now;
  }
  if (changed) AppendActivity(L"[INTEGRITY] EXE hash changed (update or tamper). Not killing other processes.");
}

void ResetExecutableReferenceForTest() {
  std::lock_guard<std::mutex> hold(g_reference_lock);
  g_taken = false;
  g_path.clear();
  g_reference = ExecutableState();
}
