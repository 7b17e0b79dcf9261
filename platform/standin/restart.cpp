#include "platform/restart.h"

#include "platform/standin/machine.h"

namespace standin {

void SetExitWindowsWorks(bool works) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().exit_windows_works = works;
}

int RestartRequests() {
  std::lock_guard<std::mutex> hold(MachineLock());
  return TheMachine().restart_requests;
}

}  // namespace standin

namespace platform {

bool EnableShutdownPrivilege() {
  standin::Note("EnableShutdownPrivilege");
  return true;
}

bool ExitWindowsForRestart() {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  auto& machine = standin::TheMachine();
  if (!machine.exit_windows_works) return false;
  ++machine.restart_requests;
  return true;
}

}  // namespace platform
