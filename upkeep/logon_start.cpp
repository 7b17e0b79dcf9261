#include "upkeep/logon_start.h"

#include "app/activity_log.h"
#include "platform/file_trust.h"
#include "platform/files.h"
#include "platform/process_setup.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/shell_folders.h"
#include "platform/verified_files.h"

namespace {
constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kRunValue[] = L"KestruneAV";
const wchar_t* const kUpdaterNames[] = {L"KestruneUpdater.exe", L"updater.exe"};

// The text before the last separator, or "." when there is none.
std::wstring FolderOf(const std::wstring& path) {
  const std::size_t separator = path.find_last_of(L"\\/");
  return separator == std::wstring::npos ? L"." : path.substr(0, separator);
}

// The first updater name in the folder that is not a folder; "" when there is none.
// A link counts as found, so that the trust check refuses it by name.
std::wstring FindUpdater(const std::wstring& folder) {
  for (const wchar_t* name : kUpdaterNames) {
    const std::wstring candidate = folder + L"\\" + name;
    platform::FileInfo info;
    if (platform::QueryFileInfo(candidate, info) && (!info.is_directory || info.is_reparse_point)) return candidate;
  }
  return L"";
}

std::wstring NotTrustedReason(platform::WriteTrust trust) {
  switch (trust) {
    case platform::WriteTrust::OthersMayWrite:
      return L"other accounts may change it or its folder";
    case platform::WriteTrust::IsLink:
      return L"it or its folder is a link";
    case platform::WriteTrust::WrongKind:
      return L"it is not a regular file";
    default:
      return L"the owner and access list of it or its folder cannot be read";
  }
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
    // Through its verified handle: the user's Startup folder may be a link by now.
    if (platform::ShellFolderPath(which, startup)) platform::DeleteVerified(startup + L"\\Kestrune AV.lnk", nullptr);
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
  // The program may run elevated: whoever can change the updater or its folder (a
  // copy run from Downloads) would have it run with the program's rights. It is
  // started by its path with no shell in between, whose lookup of .exe files goes
  // through the user's own class keys, and held unchangeable while it starts.
  uint32_t error = 0;
  platform::WriteTrust trust = platform::FolderWriteTrust(folder);
  if (trust == platform::WriteTrust::AdminsOnly) {
    trust = platform::WithAdminOnlyFile(updater, [&] {
      error = platform::StartDetachedHidden(updater, L"\"" + updater + L"\" /watch", folder);
    });
  }
  if (trust != platform::WriteTrust::AdminsOnly) {
    AppendActivity(L"[UPDATE] Updater not started: " + NotTrustedReason(trust) + L": " + updater);
    return;
  }
  if (error != 0) {
    AppendActivity(L"[UPDATE] Launch failed, error " + std::to_wstring(error));
    return;
  }
  AppendActivity(L"[UPDATE] Launched KestruneUpdater.exe from " + folder);
}
