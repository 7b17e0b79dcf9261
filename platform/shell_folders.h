#pragma once
// The user's shell folders.
#include <string>

namespace platform {

// The current user's profile folder (SHGetFolderPathW with CSIDL_PROFILE); false
// when it cannot be resolved.
bool UserProfileFolder(std::wstring& folder);

}  // namespace platform
