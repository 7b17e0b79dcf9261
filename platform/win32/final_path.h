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

inline std::wstring FullPathOf(const std::wstring& path) {
  const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return L"";
  std::wstring full(needed, L'\0');
  const DWORD length = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
  if (length == 0 || length >= needed) return L"";
  full.resize(length);
  return full;
}

// The path meant, in the form a final path takes: absolute, long names, no "\\?\"
// prefix, a share as "UNC\server\share", no trailing separator below a root.
inline std::wstring MeantForm(const std::wstring& path) {
  std::wstring full = FullPathOf(path);
  if (full.empty()) return L"";
  std::wstring long_form(32768, L'\0');
  const DWORD length = GetLongPathNameW(full.c_str(), long_form.data(), static_cast<DWORD>(long_form.size()));
  if (length != 0 && length < long_form.size()) {
    long_form.resize(length);
    full = long_form;
  }
  if (full.rfind(L"\\\\?\\", 0) == 0) {
    full = full.substr(4);
  } else if (full.rfind(L"\\\\", 0) == 0) {
    full = L"UNC\\" + full.substr(2);
  }
  while (full.size() > 3 && full.back() == L'\\') full.pop_back();
  return full;
}

inline bool SamePath(const std::wstring& a, const std::wstring& b) {
  return !a.empty() && CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                            static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// The form to hand the file system a path in: a drive path past MAX_PATH gets the
// "\\?\" prefix, so that a deep folder or a long name is reached instead of failing.
inline std::wstring ApiPath(const std::wstring& path) {
  if (path.size() < MAX_PATH - 12 || path.rfind(L"\\\\", 0) == 0) return path;
  if (path.size() > 2 && path[1] == L':' && path[2] == L'\\') return L"\\\\?\\" + path;
  return path;
}

// True when the handle is where the path says: no link in any folder on the way
// carried it elsewhere.
inline bool HandleIsAt(HANDLE handle, const std::wstring& path) {
  return SamePath(FinalPathOf(handle), MeantForm(path));
}

}  // namespace platform::win32
