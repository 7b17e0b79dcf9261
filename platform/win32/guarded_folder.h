#pragma once
// What MakeGuardedFolder puts on a data folder, for the Win32 layer's own tests.
#include <string>

#include "platform/files.h"

namespace platform::win32 {

// The owner and access list a new data folder gets, in security-descriptor language.
std::wstring GuardedFolderAccessList(FolderAudience audience);

// True when the folder's owner and list, read from a handle to the folder itself,
// admit the audience alone.
bool FolderOwnedByAudience(const std::wstring& path, FolderAudience audience);

}  // namespace platform::win32
