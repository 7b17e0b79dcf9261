#include "platform/file_trust.h"

#include <filesystem>

#include "platform/standin/machine.h"

namespace standin {

void MarkWritableByOthers(const std::wstring& windows_path) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().writable_by_others.insert(PathKeyOf(windows_path));
}

}  // namespace standin

namespace platform {

namespace {
// A host symbolic link is a Windows link; everything else is the administrators'
// unless a test marked it writable by others.
WriteTrust TrustOf(const std::wstring& path, bool want_folder) {
  const std::string host = standin::HostPath(path);
  if (host.empty()) return WriteTrust::Unreadable;
  std::error_code error;
  const auto status = std::filesystem::symlink_status(host, error);
  if (!std::filesystem::exists(status)) return WriteTrust::Unreadable;
  if (std::filesystem::is_symlink(status)) return WriteTrust::IsLink;
  if (std::filesystem::is_directory(status) != want_folder) return WriteTrust::WrongKind;
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  return standin::TheMachine().writable_by_others.count(standin::PathKeyOf(path)) ? WriteTrust::OthersMayWrite
                                                                                  : WriteTrust::AdminsOnly;
}
}  // namespace

WriteTrust FolderWriteTrust(const std::wstring& folder) { return TrustOf(folder, true); }

WriteTrust WithAdminOnlyFile(const std::wstring& path, const std::function<void()>& while_held) {
  const WriteTrust trust = TrustOf(path, false);
  if (trust != WriteTrust::AdminsOnly) return trust;
  standin::Note("HoldFile " + standin::Narrow(path));
  while_held();
  standin::Note("ReleaseFile " + standin::Narrow(path));
  return trust;
}

}  // namespace platform
