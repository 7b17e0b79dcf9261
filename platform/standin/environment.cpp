#include "platform/environment.h"

#include "platform/standin/machine.h"

namespace platform {

bool ReadEnvironmentVariable(const wchar_t* name, std::wstring& value) {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  const auto& environment = standin::TheMachine().environment;
  const auto found = environment.find(name);
  if (found == environment.end() || found->second.empty()) return false;
  value = found->second;
  return true;
}

}  // namespace platform
