#include "ui/taskbar_pin.h"

#include <string>

#include "platform/dialogs.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/process_setup.h"
#include "platform/shell_folders.h"
#include "platform/shortcuts.h"
#include "platform/verified_files.h"
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
// Copies the desktop shortcut into the pinned folder through verified handles: neither
// the shortcut read nor the folders made nor the copy written follow a link planted on
// the way. No desktop shortcut: nothing copied.
void CopyShortcutInto(const std::wstring& shortcut, const std::wstring& folder) {
  constexpr std::size_t kShortcutMaxBytes = 1u << 20;
  std::string bytes;
  if (platform::ReadVerified(shortcut, kShortcutMaxBytes, bytes) != platform::Verified::Done) return;
  if (platform::MakeFoldersVerified(folder) != platform::Verified::Done) return;
  const std::wstring copy = folder + kShortcutName;
  if (platform::ReplaceVerified(copy, bytes) == platform::Verified::Missing) platform::CreateNewVerified(copy, bytes);
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
    CopyShortcutInto(desk, app_data + kPinnedFolder);
  }
  platform::ShowInformation(kPinText, kPinCaption);
  // Showing the item may open a folder window through the shell's "open" of folders,
  // which the user's own class keys can redirect; an elevated program leaves it to
  // the notice, which says where the shortcut is.
  if (!AdminMode.load()) platform::SelectInExplorer(desk);
}
