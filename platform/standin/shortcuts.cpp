#include "platform/shortcuts.h"

#include "platform/files.h"
#include "platform/verified_files.h"
#include "platform/standin/machine.h"

namespace standin {

std::vector<std::pair<std::wstring, std::wstring>> Shortcuts() {
  std::lock_guard<std::mutex> hold(MachineLock());
  return TheMachine().shortcuts;
}

}  // namespace standin

namespace platform {

bool SetWindowAppIdentity(const std::wstring& app_id) {
  {
    std::lock_guard<std::mutex> hold(standin::MachineLock());
    if (!standin::TheMachine().window_exists) return false;
  }
  standin::Note("WindowAppIdentity " + standin::Narrow(app_id));
  return true;
}

bool WriteShortcut(const std::wstring& link_path, const ShortcutContent& content) {
  const std::wstring record = content.target + L"|" + content.working_folder + L"|" + content.description + L"|" + content.app_id;
  const std::string bytes = standin::Narrow(record);
  const Verified replaced = ReplaceVerified(link_path, bytes);
  if (replaced != Verified::Done && !(replaced == Verified::Missing && CreateNewVerified(link_path, bytes) == Verified::Done)) {
    return false;
  }
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  standin::TheMachine().shortcuts.emplace_back(link_path, record);
  return true;
}

bool SelectInExplorer(const std::wstring& path) {
  standin::Note("SelectInExplorer " + standin::Narrow(path));
  return true;
}

}  // namespace platform
