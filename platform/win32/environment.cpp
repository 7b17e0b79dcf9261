#include "platform/environment.h"

#include <windows.h>

namespace platform {

bool ReadEnvironmentVariable(const wchar_t* name, std::wstring& value) {
  std::wstring buffer(260, L'\0');
  DWORD count = GetEnvironmentVariableW(name, buffer.data(), static_cast<DWORD>(buffer.size()));
  if (count >= buffer.size()) {  // too long for the first buffer: count is the size needed
    buffer.assign(count, L'\0');
    count = GetEnvironmentVariableW(name, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (count >= buffer.size()) return false;
  }
  if (count == 0) return false;
  buffer.resize(count);
  value = std::move(buffer);
  return true;
}

bool TempFolder(std::wstring& folder) {
  wchar_t buffer[MAX_PATH];
  const DWORD count = GetTempPathW(MAX_PATH, buffer);
  if (count == 0 || count > MAX_PATH) return false;
  folder.assign(buffer, count);
  return true;
}

std::wstring ExpandEnvironmentText(const std::wstring& text) {
  std::wstring buffer(text.size() + 260, L'\0');
  for (int tries = 0; tries < 2; ++tries) {
    const DWORD needed = ExpandEnvironmentStringsW(text.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (needed == 0) return text;
    if (needed <= buffer.size()) {
      buffer.resize(needed - 1);  // the count includes the terminating zero
      return buffer;
    }
    buffer.assign(needed, L'\0');
  }
  return text;
}

}  // namespace platform
