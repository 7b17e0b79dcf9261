#include "platform/environment.h"

#include "platform/standin/machine.h"

namespace standin {

void SetTempFolder(const std::wstring& folder) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().temp_folder = folder;
}

}  // namespace standin

namespace platform {

bool ReadEnvironmentVariable(const wchar_t* name, std::wstring& value) {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  const auto& environment = standin::TheMachine().environment;
  const auto found = environment.find(name);
  if (found == environment.end() || found->second.empty()) return false;
  value = found->second;
  return true;
}

bool TempFolder(std::wstring& folder) {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  const std::wstring& temp = standin::TheMachine().temp_folder;
  if (temp.empty()) return false;
  folder = temp;
  return true;
}

}  // namespace platform
