#pragma once
// What MakeGuardedFolder puts on a data folder, for the Win32 layer's own tests.
#include <string>

namespace platform::win32 {

// The access list a new data folder gets, in security-descriptor language.
std::wstring GuardedFolderAccessList();

// True when the folder's owner is Administrators, SYSTEM or the current user and
// its list lets nobody else write, as the system reads them back.
bool OnlyTrustedMayWriteTo(const std::wstring& path);

}  // namespace platform::win32
