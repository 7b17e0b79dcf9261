#pragma once
// Where an open handle really is, for the checks that a path reached what it names.
#include <windows.h>

#include <string>

namespace platform::win32 {

// The handle's final path, without the "\\?\" prefix; "" when it cannot be read.
inline std::wstring FinalPathOf(HANDLE handle) {
  std::wstring path(32768, L'\0');
  const DWORD length = GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()),
                                                 FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (length == 0 || length >= path.size()) return L"";
  path.resize(length);
  return path.rfind(L"\\\\?\\", 0) == 0 ? path.substr(4) : path;
}

}  // namespace platform::win32
