#include "platform/files.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

#include "platform/standin/machine.h"

namespace standin {

void MapDrive(wchar_t letter, const std::string& host_folder) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().drives[static_cast<wchar_t>(towupper(letter))] = host_folder;
}

std::string HostPath(const std::wstring& windows_path) {
  if (windows_path.size() < 2 || windows_path[1] != L':') return "";
  std::string root;
  {
    std::lock_guard<std::mutex> hold(MachineLock());
    const auto& drives = TheMachine().drives;
    const auto found = drives.find(static_cast<wchar_t>(towupper(windows_path[0])));
    if (found == drives.end()) return "";
    root = found->second;
  }
  std::string rest = Narrow(windows_path.substr(2));
  for (char& c : rest) {
    if (c == '\\') c = '/';
  }
  if (!rest.empty() && rest.front() != '/') rest.insert(rest.begin(), '/');
  return root + rest;
}

void FailPath(const std::wstring& windows_path, uint32_t error_code) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().failing_paths[windows_path] = error_code;
}

}  // namespace standin

namespace platform {

namespace {
// The injected error for this path, 0 when none.
uint32_t InjectedError(const std::wstring& path) {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  const auto& failing = standin::TheMachine().failing_paths;
  const auto found = failing.find(path);
  return found == failing.end() ? 0 : found->second;
}
}  // namespace

bool PathExists(const std::wstring& path) {
  if (const uint32_t error = InjectedError(path)) {
    if (IsNotFoundError(error)) return false;
    throw std::runtime_error("file system error " + std::to_string(error) + " on " + standin::Narrow(path));
  }
  const std::string host = standin::HostPath(path);
  std::error_code ignored;
  return !host.empty() && std::filesystem::exists(host, ignored);
}

bool MakeDirectories(const std::wstring& path) {
  standin::Note("MakeDirectories " + standin::Narrow(path));
  const std::string host = standin::HostPath(path);
  if (host.empty() || InjectedError(path) != 0) return false;
  std::error_code ignored;
  std::filesystem::create_directories(host, ignored);
  return std::filesystem::is_directory(host, ignored);
}

bool ReadFileBytes(const std::wstring& path, std::string& out) {
  const std::string host = standin::HostPath(path);
  if (host.empty() || InjectedError(path) != 0) return false;
  std::ifstream in(host, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool WriteFileBytes(const std::wstring& path, std::string_view bytes) {
  const std::string host = standin::HostPath(path);
  if (host.empty() || InjectedError(path) != 0) return false;
  std::ofstream out(host, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

}  // namespace platform
