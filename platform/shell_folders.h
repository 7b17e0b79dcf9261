#pragma once
// The user's shell folders.
#include <string>

namespace platform {

// The current user's profile folder (SHGetFolderPathW with CSIDL_PROFILE); false
// when it cannot be resolved.
bool UserProfileFolder(std::wstring& folder);

// The user's Startup folder (CSIDL_STARTUP), or the all-users one (CSIDL_COMMON_STARTUP);
// false when it cannot be resolved.
bool StartupFolder(bool all_users, std::wstring& folder);

}  // namespace platform
