#include "platform/files.h"

#include <windows.h>

#include <algorithm>
#include <stdexcept>
#include <string>

#include "platform/win32/handles.h"

namespace platform {

namespace {
using win32::OwnFileHandle;

bool IsFolder(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Index of the first separator after the root ("C:\" or "\\server\share\").
std::size_t FirstFolderAfterRoot(const std::wstring& path) {
  if (path.rfind(L"\\\\", 0) == 0) {
    const std::size_t server_end = path.find(L'\\', 2);
    if (server_end == std::wstring::npos) return std::wstring::npos;
    return path.find(L'\\', server_end + 1);
  }
  return path.size() >= 3 && path[1] == L':' ? 2 : 0;
}
}  // namespace

bool PathExists(const std::wstring& path) {
  if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  const DWORD error = GetLastError();
  if (IsNotFoundError(error)) return false;
  throw std::runtime_error("file system error " + std::to_string(error));
}

bool MakeDirectories(const std::wstring& path) {
  std::size_t cut = FirstFolderAfterRoot(path);
  while (cut != std::wstring::npos) {
    cut = path.find(L'\\', cut + 1);
    const std::wstring prefix = path.substr(0, cut);
    if (!prefix.empty() && prefix.back() != L'\\') CreateDirectoryW(prefix.c_str(), nullptr);
  }
  return IsFolder(path);
}

bool ReadFileBytes(const std::wstring& path, std::string& out) {
  const auto file = OwnFileHandle(CreateFileW(path.c_str(), GENERIC_READ,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0) return false;
  std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
  std::size_t done = 0;
  while (done < bytes.size()) {
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
    DWORD got = 0;
    if (!ReadFile(file.get(), bytes.data() + done, want, &got, nullptr)) return false;
    if (got == 0) break;  // the file shrank while being read
    done += got;
  }
  bytes.resize(done);
  out = std::move(bytes);
  return true;
}

bool WriteFileBytes(const std::wstring& path, std::string_view bytes) {
  const auto file = OwnFileHandle(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
    DWORD wrote = 0;
    if (!WriteFile(file.get(), bytes.data() + done, want, &wrote, nullptr) || wrote == 0) return false;
    done += wrote;
  }
  return true;
}

}  // namespace platform
