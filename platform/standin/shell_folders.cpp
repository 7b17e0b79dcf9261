#include "platform/shell_folders.h"

#include "platform/standin/machine.h"

namespace standin {

void SetProfileFolder(const std::wstring& folder) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().profile_folder = folder;
}

}  // namespace standin

namespace platform {

bool UserProfileFolder(std::wstring& folder) {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  const std::wstring& profile = standin::TheMachine().profile_folder;
  if (profile.empty()) return false;
  folder = profile;
  return true;
}

}  // namespace platform
