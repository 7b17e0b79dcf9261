#include "platform/standin/control.h"

#include "platform/standin/machine.h"

namespace standin {

namespace {
constexpr uint64_t kBootClockMs = 10'000'000;  // a machine that has been up for a while
}

void Reset() {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine() = Machine();
  TheMachine().now_ms = kBootClockMs;
}

std::vector<std::string> Journal() {
  std::lock_guard<std::mutex> hold(MachineLock());
  return TheMachine().journal;
}

int JournalIndex(const std::string& prefix) {
  const auto journal = Journal();
  for (std::size_t i = 0; i < journal.size(); ++i) {
    if (journal[i].rfind(prefix, 0) == 0) return static_cast<int>(i);
  }
  return -1;
}

void SetEnvironment(const std::wstring& name, const std::wstring& value) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().environment[name] = value;
}

void SetCpuQueryWorks(bool works) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().cpu_query_works = works;
}

void SetCpuPercent(double percent) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().cpu_percent = percent;
}

int CpuCollections() {
  std::lock_guard<std::mutex> hold(MachineLock());
  return TheMachine().cpu_collections;
}

void SetOs(uint32_t build, bool workstation) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().os_build = build;
  TheMachine().os_workstation = workstation;
}

void SetInstanceLock(platform::InstanceLock result) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().instance_lock = result;
}

std::vector<std::wstring> DebugLines() {
  std::lock_guard<std::mutex> hold(MachineLock());
  return TheMachine().debug_lines;
}

std::vector<StartedThread> StartedThreads() {
  std::lock_guard<std::mutex> hold(MachineLock());
  return TheMachine().threads;
}

void SetWindowWorks(bool works) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().window_works = works;
}

void SetDevices(bool hardware_works, bool warp_works) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().hardware_works = hardware_works;
  TheMachine().warp_works = warp_works;
}

void SetQuitAfterTurns(int turns) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().quit_after_turns = turns;
}

void SetShownOnTurn(std::function<bool(int)> shown) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().shown_on_turn = std::move(shown);
}

std::vector<bool> Presents() {
  std::lock_guard<std::mutex> hold(MachineLock());
  return TheMachine().presents;
}

}  // namespace standin
