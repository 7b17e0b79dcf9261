#pragma once
// The user's shell folders.
#include <string>

namespace platform {

// The current user's profile folder (SHGetFolderPathW with CSIDL_PROFILE); false
// when it cannot be resolved.
bool UserProfileFolder(std::wstring& folder);

// Shell folders by their CSIDL: Startup, all users' Startup, Start-menu programs,
// all users' Start-menu programs, and the desktop's file-system folder.
enum class ShellFolder { Startup, CommonStartup, Programs, CommonPrograms, Desktop };

// The folder's path (SHGetFolderPathW); false when it cannot be resolved.
bool ShellFolderPath(ShellFolder which, std::wstring& folder);

// Known folders (SHGetKnownFolderPath), never taken from the environment: the
// machine's ProgramData and the current user's local application data.
enum class KnownFolder { ProgramData, LocalAppData };

// The folder's path; false when it cannot be resolved.
bool KnownFolderPath(KnownFolder which, std::wstring& folder);

}  // namespace platform
