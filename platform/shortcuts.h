#pragma once
// One taskbar identity for the window and its shortcuts, shell links, and Explorer.
#include <string>

namespace platform {

// What a shell link holds.
struct ShortcutContent {
  std::wstring target;
  std::wstring working_folder;
  std::wstring description;
  std::wstring app_id;  // PKEY_AppUserModel_ID
};

// Sets the application identity on the main window's property store
// (SHGetPropertyStoreForWindow); false when there is no window or it fails.
bool SetWindowAppIdentity(const std::wstring& app_id);

// Writes the link (IShellLinkW and its IPropertyStore, saved through IPersistStream)
// through verified handles, replacing an older file; false on any failure, also when a
// link on the way would redirect it. COM must be initialised on the calling thread.
bool WriteShortcut(const std::wstring& link_path, const ShortcutContent& content);

// Opens the item's folder in Explorer with the item selected (SHParseDisplayName,
// SHOpenFolderAndSelectItems); false when the item cannot be parsed or shown.
bool SelectInExplorer(const std::wstring& path);

}  // namespace platform
