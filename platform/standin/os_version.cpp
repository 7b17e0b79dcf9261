#include "platform/os_version.h"

#include "platform/standin/machine.h"

namespace platform {

uint32_t OsBuildNumber() {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  return standin::TheMachine().os_build;
}

bool OsIsWorkstation() {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  return standin::TheMachine().os_workstation;
}

}  // namespace platform
