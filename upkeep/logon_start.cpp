#include "upkeep/logon_start.h"

#include "app/activity_log.h"
#include "platform/files.h"
#include "platform/process_setup.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/shell_folders.h"

namespace {
constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kRunValue[] = L"KestruneAV";
const wchar_t* const kUpdaterNames[] = {L"KestruneUpdater.exe", L"updater.exe"};

// The text before the last separator, or "." when there is none.
std::wstring FolderOf(const std::wstring& path) {
  const std::size_t separator = path.find_last_of(L"\\/");
  return separator == std::wstring::npos ? L"." : path.substr(0, separator);
}

// The first updater name that exists in the folder; "" when none does.
std::wstring FindUpdater(const std::wstring& folder) {
  for (const wchar_t* name : kUpdaterNames) {
    const std::wstring candidate = folder + L"\\" + name;
    platform::FileInfo info;
    if (platform::QueryFileInfo(candidate, info)) return candidate;
  }
  return L"";
}
}  // namespace

std::wstring LogonStartCommand(const std::wstring& program_path) { return L"\"" + program_path + L"\" /background"; }

void RegisterLogonStart() {
  const std::wstring self = platform::ModuleFilePath();
  if (self.empty()) return;
  // Each failure below is harmless on its own: the next start tries again.
  platform::WriteRegistryString(platform::RegistryHive::CurrentUser, kRunKey, kRunValue, LogonStartCommand(self));
  platform::DeleteRegistryValue(platform::RegistryHive::LocalMachine, kRunKey, kRunValue);
  for (const auto which : {platform::ShellFolder::Startup, platform::ShellFolder::CommonStartup}) {
    std::wstring startup;
    if (platform::ShellFolderPath(which, startup)) platform::DeleteFileOnce(startup + L"\\Kestrune AV.lnk");
  }
  AppendActivity(L"[STARTUP] One background start at logon.");
}

void LaunchUpdater() {
  const std::wstring folder = FolderOf(platform::ModuleFilePath());
  const std::wstring updater = FindUpdater(folder);
  if (updater.empty()) {
    AppendActivity(L"[UPDATE] KestruneUpdater.exe not found next to the AV: " + folder);
    return;
  }
  platform::ShellExecuteRequest request;
  request.verb = L"open";
  request.file = updater;
  request.parameters = L"/watch";
  request.folder = folder;
  request.hidden = true;
  request.quiet = true;
  if (!platform::ShellExecuteWithVerb(request)) {
    const uint32_t error = platform::StartDetachedHidden(updater, L"\"" + updater + L"\" /watch", folder);
    if (error != 0) {
      AppendActivity(L"[UPDATE] Launch failed, error " + std::to_wstring(error));
      return;
    }
  }
  AppendActivity(L"[UPDATE] Launched KestruneUpdater.exe from " + folder);
}
