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

void SetCurrentFolder(const std::wstring& folder) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().current_folder = folder;
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

// The host path behind a Windows path; "" when its drive is unmapped or a test made it fail.
std::string ReachableHostPath(const std::wstring& path) {
  return InjectedError(path) != 0 ? std::string() : standin::HostPath(path);
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
  const std::string host = ReachableHostPath(path);
  if (host.empty()) return false;
  std::error_code ignored;
  std::filesystem::create_directories(host, ignored);
  return std::filesystem::is_directory(host, ignored);
}

bool ReadFileBytes(const std::wstring& path, std::string& out) {
  const std::string host = ReachableHostPath(path);
  if (host.empty()) return false;
  std::ifstream in(host, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool WriteFileBytes(const std::wstring& path, std::string_view bytes) {
  const std::string host = ReachableHostPath(path);
  if (host.empty()) return false;
  std::ofstream out(host, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

}  // namespace platform

namespace platform {

bool AppendFileBytes(const std::wstring& path, std::string_view bytes) {
  const std::string host = ReachableHostPath(path);
  if (host.empty()) return false;
  std::ofstream out(host, std::ios::binary | std::ios::app);
  if (!out) return false;
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

bool ReadFileInChunks(const std::wstring& path, std::size_t chunk_bytes,
                      const std::function<bool(std::string_view chunk)>& visit) {
  const std::string host = ReachableHostPath(path);
  if (host.empty()) return false;
  std::error_code ignored;
  if (std::filesystem::is_directory(host, ignored)) return false;
  std::ifstream in(host, std::ios::binary);
  if (!in) return false;
  std::string buffer(chunk_bytes, '\0');
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    const std::streamsize got = in.gcount();
    if (got <= 0) break;
    if (!visit(std::string_view(buffer.data(), static_cast<std::size_t>(got)))) break;
  }
  return !in.bad();
}

bool CanOpenForReading(const std::wstring& path) {
  return ReadFileInChunks(path, 1, [](std::string_view) { return false; });
}

bool QueryFileInfo(const std::wstring& path, FileInfo& info) {
  const std::string host = ReachableHostPath(path);
  if (host.empty()) return false;
  std::error_code error;
  const auto status = std::filesystem::symlink_status(host, error);
  if (error || !std::filesystem::exists(status)) return false;
  info = FileInfo();
  info.is_reparse_point = std::filesystem::is_symlink(status);
  info.is_directory = std::filesystem::is_directory(host, error);
  if (!info.is_directory) info.size = std::filesystem::file_size(host, error);
  const auto written = std::filesystem::last_write_time(host, error);
  // Host time as 100 ns ticks; only equality and order matter to the program.
  info.last_write_time = static_cast<uint64_t>(written.time_since_epoch().count()) / 100;
  return true;
}

bool VisitMappedHead(const std::wstring& path, std::size_t max_bytes,
                     const std::function<void(const unsigned char*, std::size_t, uint64_t)>& visit) {
  FileInfo info;
  if (!QueryFileInfo(path, info) || info.is_directory || info.size == 0) return false;
  std::string head;
  if (!ReadFileInChunks(path, 65536, [&](std::string_view chunk) {
        head.append(chunk.substr(0, max_bytes - head.size()));
        return head.size() < max_bytes;
      })) {
    return false;
  }
  visit(reinterpret_cast<const unsigned char*>(head.data()), head.size(), info.size);
  return true;
}

bool ListFolder(const std::wstring& folder, std::vector<FolderEntry>& entries) {
  const std::string host = standin::HostPath(folder);
  std::error_code error;
  if (host.empty() || !std::filesystem::is_directory(host, error)) return false;
  entries.clear();
  for (const auto& item : std::filesystem::directory_iterator(host, error)) {
    FolderEntry entry;
    const std::string name = item.path().filename().string();
    entry.name.assign(name.begin(), name.end());
    entry.is_reparse_point = item.is_symlink(error);
    entry.is_directory = item.is_directory(error);
    entries.push_back(entry);
  }
  return !error;
}

std::wstring FullPathOf(const std::wstring& path) {
  if (path.size() >= 2 && path[1] == L':') return path;
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  return standin::TheMachine().current_folder + L"\\" + path;
}

}  // namespace platform
