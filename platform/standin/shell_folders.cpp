#include "platform/shell_folders.h"

#include "platform/standin/machine.h"

namespace standin {

void SetProfileFolder(const std::wstring& folder) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().profile_folder = folder;
}

void SetStartupFolders(const std::wstring& user, const std::wstring& all_users) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().startup_folder = user;
  TheMachine().common_startup_folder = all_users;
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

bool StartupFolder(bool all_users, std::wstring& folder) {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  const auto& machine = standin::TheMachine();
  const std::wstring& startup = all_users ? machine.common_startup_folder : machine.startup_folder;
  if (startup.empty()) return false;
  folder = startup;
  return true;
}

}  // namespace platform
