#include "platform/shell_folders.h"

#include "platform/standin/machine.h"

namespace standin {

void SetProfileFolder(const std::wstring& folder) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().profile_folder = folder;
}

void SetShellFolder(platform::ShellFolder which, const std::wstring& folder) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().shell_folders[static_cast<int>(which)] = folder;
}

void SetKnownFolder(platform::KnownFolder which, const std::wstring& folder) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().known_folders[static_cast<int>(which)] = folder;
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

bool ShellFolderPath(ShellFolder which, std::wstring& folder) {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  const auto& folders = standin::TheMachine().shell_folders;
  const auto found = folders.find(static_cast<int>(which));
  if (found == folders.end() || found->second.empty()) return false;
  folder = found->second;
  return true;
}

bool KnownFolderPath(KnownFolder which, std::wstring& folder) {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  const auto& folders = standin::TheMachine().known_folders;
  const auto found = folders.find(static_cast<int>(which));
  if (found == folders.end() || found->second.empty()) return false;
  folder = found->second;
  return true;
}

}  // namespace platform
