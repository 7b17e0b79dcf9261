#include "ui/taskbar_pin.h"

#include <string>

#include "platform/dialogs.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/process_setup.h"
#include "platform/shell_folders.h"
#include "platform/shortcuts.h"
#include "upkeep/admin_mode.h"

const wchar_t* const kAppIdentity = L"Kestrune.KestruneAV";

namespace {
constexpr wchar_t kShortcutName[] = L"\\Kestrune AV.lnk";
constexpr wchar_t kPinnedFolder[] = L"\\Microsoft\\Internet Explorer\\Quick Launch\\User Pinned\\TaskBar";
constexpr wchar_t kPinCaption[] = L"Pin Kestrune";
constexpr wchar_t kPinText[] =
    L"Windows will not pin this open window because Admin mode is on. That menu only says Close window.\n\nA "
    L"shortcut named Kestrune AV is on your desktop. Right-click THAT shortcut and choose Pin to taskbar.";

// The text before the last separator, or the whole path when there is none.
std::wstring FolderOrWhole(const std::wstring& path) {
  const std::size_t separator = path.find_last_of(L"\\/");
  return separator == std::wstring::npos ? path : path.substr(0, separator);
}
}  // namespace

void StampAppIdentity(bool with_window) {
  platform::SetAppIdentity(kAppIdentity);
  if (with_window) platform::SetWindowAppIdentity(kAppIdentity);
  platform::ShortcutContent content;
  content.target = platform::ModuleFilePath();
  content.working_folder = FolderOrWhole(content.target);
  content.description = L"Kestrune AV";
  content.app_id = kAppIdentity;
  for (const auto which : {platform::ShellFolder::Programs, platform::ShellFolder::CommonPrograms}) {
    // The user's own Start menu is the user's to write: an elevated run leaves it to
    // the user's own runs, so that a link planted there cannot carry its write elsewhere.
    if (which == platform::ShellFolder::Programs && AdminMode.load()) continue;
    std::wstring folder;
    if (platform::ShellFolderPath(which, folder)) platform::WriteShortcut(folder + kShortcutName, content);
  }
}

void PinToTaskbar() {
  StampAppIdentity(true);
  std::wstring desktop;
  platform::ShellFolderPath(platform::ShellFolder::Desktop, desktop);
  const std::wstring desk = desktop + kShortcutName;
  std::wstring app_data;
  // The pinned copy lives in the user's roaming folder, found through the user's
  // environment: an elevated run neither trusts that nor writes there.
  if (!AdminMode.load() && platform::ReadEnvironmentVariable(L"APPDATA", app_data)) {
    const std::wstring pinned = app_data + kPinnedFolder;
    platform::MakeDirectories(pinned);
    platform::CopyFileOver(desk, pinned + kShortcutName);  // no desktop shortcut: nothing copied
  }
  platform::ShowInformation(kPinText, kPinCaption);
  // Showing the item may open a folder window through the shell's "open" of folders,
  // which the user's own class keys can redirect; an elevated program leaves it to
  // the notice, which says where the shortcut is.
  if (!AdminMode.load()) platform::SelectInExplorer(desk);
}
