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

namespace {
int CsidlOf(ShellFolder which) {
  switch (which) {
    case ShellFolder::Startup: return CSIDL_STARTUP;
    case ShellFolder::CommonStartup: return CSIDL_COMMON_STARTUP;
    case ShellFolder::Programs: return CSIDL_PROGRAMS;
    case ShellFolder::CommonPrograms: return CSIDL_COMMON_PROGRAMS;
    case ShellFolder::Desktop: return CSIDL_DESKTOPDIRECTORY;
  }
  return CSIDL_DESKTOPDIRECTORY;
}
}  // namespace

bool ShellFolderPath(ShellFolder which, std::wstring& folder) {
  wchar_t path[MAX_PATH];
  if (FAILED(SHGetFolderPathW(nullptr, CsidlOf(which), nullptr, SHGFP_TYPE_CURRENT, path)) || path[0] == L'\0') {
    return false;
  }
  folder = path;
  return true;
}

bool KnownFolderPath(KnownFolder which, std::wstring& folder) {
  const KNOWNFOLDERID& id = which == KnownFolder::ProgramData ? FOLDERID_ProgramData : FOLDERID_LocalAppData;
  PWSTR path = nullptr;
  const HRESULT result = SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path);
  const bool found = SUCCEEDED(result) && path && path[0] != L'\0';
  if (found) folder = path;
  CoTaskMemFree(path);
  return found;
}

}  // namespace platform
