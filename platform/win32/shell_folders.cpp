#include "platform/shell_folders.h"

#include <windows.h>
#include <shlobj.h>

namespace platform {

bool UserProfileFolder(std::wstring& folder) {
  wchar_t path[MAX_PATH];
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PROFILE, nullptr, SHGFP_TYPE_CURRENT, path)) || path[0] == L'\0') {
    return false;
  }
  folder = path;
  return true;
}

bool StartupFolder(bool all_users, std::wstring& folder) {
  wchar_t path[MAX_PATH];
  if (FAILED(SHGetFolderPathW(nullptr, all_users ? CSIDL_COMMON_STARTUP : CSIDL_STARTUP, nullptr, SHGFP_TYPE_CURRENT,
                              path)) ||
      path[0] == L'\0') {
    return false;
  }
  folder = path;
  return true;
}

}  // namespace platform
