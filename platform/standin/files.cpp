#include "platform/files.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <stdexcept>
#include <system_error>

#include "platform/standin/machine.h"

namespace standin {

void MapDrive(wchar_t letter, const std::string& host_folder) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().drives[static_cast<wchar_t>(towupper(letter))] = host_folder;
}

void UnmapDrive(wchar_t letter) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().drives.erase(static_cast<wchar_t>(towupper(letter)));
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

void HoldFile(const std::wstring& windows_path, uint32_t error_code) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().held_files[windows_path] = error_code;
}

int OpensOf(const std::wstring& windows_path) {
  std::lock_guard<std::mutex> hold(MachineLock());
  return TheMachine().traffic[windows_path].opens;
}

uint64_t BytesReadOf(const std::wstring& windows_path) {
  std::lock_guard<std::mutex> hold(MachineLock());
  return TheMachine().traffic[windows_path].bytes_read;
}

void NoteOpen(const std::wstring& windows_path) {
  std::lock_guard<std::mutex> hold(MachineLock());
  ++TheMachine().traffic[windows_path].opens;
}

void FailWritesUnder(const std::wstring& windows_prefix) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().full_disk_prefixes.push_back(windows_prefix);
}

void FailListing(const std::wstring& windows_folder, std::size_t after_entries, uint32_t error_code) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().listing_faults[windows_folder] = {after_entries, error_code};
}

namespace {
// One spelling per file for the path sets: lower-case, no trailing separator.
std::wstring PathKey(std::wstring path) {
  for (wchar_t& c : path) c = static_cast<wchar_t>(towlower(c));
  while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
  return path;
}
}  // namespace

std::wstring PathKeyOf(const std::wstring& windows_path) { return PathKey(windows_path); }

void HideFromFindListing(const std::wstring& windows_path) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().hidden_from_find.insert(PathKey(windows_path));
}

bool HiddenFromFind(const std::wstring& folder, const std::wstring& name) {
  std::lock_guard<std::mutex> hold(MachineLock());
  const auto& hidden = TheMachine().hidden_from_find;
  if (hidden.empty()) return false;
  std::wstring path = PathKey(folder);
  if (path.empty() || path.back() != L'\\') path += L'\\';
  return hidden.count(PathKey(path + name)) != 0;
}

void FailLibraryListing(const std::wstring& windows_folder, std::size_t after_entries) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().library_faults[PathKey(windows_folder)] = after_entries;
}

void FailNativeListing(const std::wstring& windows_folder, std::size_t after_entries, uint32_t error_code) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().native_listing_faults[PathKey(windows_folder)] = {after_entries, error_code};
}

void OnNativeListing(const std::wstring& windows_folder, std::function<void(std::size_t handed)> hook) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().native_listing_hooks[PathKey(windows_folder)] = std::move(hook);
}

bool IsReadOnly(const std::wstring& windows_path) {
  std::lock_guard<std::mutex> hold(MachineLock());
  return TheMachine().read_only_paths.count(PathKey(windows_path)) != 0;
}

void MakeFolderUnguardable(const std::wstring& windows_folder) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().unguardable_folders.insert(PathKey(windows_folder));
}

void FailReadsAfter(const std::wstring& windows_path, uint64_t bytes) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().read_limits[windows_path] = bytes;
}

void OnNextRead(const std::wstring& windows_path, std::function<void()> action) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().read_actions[windows_path] = std::move(action);
}

void SetFreeSpace(wchar_t letter, uint64_t free_bytes, uint64_t total_bytes) {
  std::lock_guard<std::mutex> hold(MachineLock());
  auto& state = TheMachine().drive_states[static_cast<wchar_t>(towupper(letter))];
  state.free_bytes = free_bytes;
  state.total_bytes = total_bytes;
}

void SetCurrentFolder(const std::wstring& folder) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().current_folder = folder;
}

bool OnFullDisk(const std::wstring& windows_path) {
  std::lock_guard<std::mutex> hold(MachineLock());
  for (const auto& prefix : TheMachine().full_disk_prefixes) {
    if (windows_path.rfind(prefix, 0) == 0) return true;
  }
  return false;
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

void SetReadOnly(const std::wstring& path, bool read_only) {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  auto& paths = standin::TheMachine().read_only_paths;
  if (read_only) {
    paths.insert(standin::PathKeyOf(path));
  } else {
    paths.erase(standin::PathKeyOf(path));
  }
}

uint64_t ReadLimit(const std::wstring& path) {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  const auto& limits = standin::TheMachine().read_limits;
  const auto found = limits.find(path);
  return found == limits.end() ? std::numeric_limits<uint64_t>::max() : found->second;
}

// Host time as 100 ns ticks; only equality and order matter to the program.
uint64_t Ticks(std::filesystem::file_time_type time) {
  return static_cast<uint64_t>(time.time_since_epoch().count()) / 100;
}

// A host symbolic link stands for a Windows link; a second hard link is one too.
bool IsLinkedHostFile(const std::string& host) {
  std::error_code error;
  const auto status = std::filesystem::symlink_status(host, error);
  if (std::filesystem::is_symlink(status)) return true;
  return std::filesystem::is_regular_file(status) && std::filesystem::hard_link_count(host, error) > 1;
}

// Writes the bytes in the given mode; a full disk keeps the truncation and fails.
bool WriteHostFile(const std::wstring& path, std::string_view bytes, std::ios::openmode mode) {
  const std::string host = ReachableHostPath(path);
  if (host.empty() || standin::IsReadOnly(path) || IsLinkedHostFile(host)) return false;
  std::ofstream out(host, std::ios::binary | mode);
  if (!out) return false;
  if (standin::OnFullDisk(path)) return false;
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
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
  std::string bytes;
  if (!ReadFileInChunks(path, 65536, [&](std::string_view chunk) {
        bytes.append(chunk);
        return true;
      })) {
    return false;
  }
  out = std::move(bytes);
  return true;
}

bool WriteFileBytes(const std::wstring& path, std::string_view bytes) {
  return WriteHostFile(path, bytes, std::ios::trunc);
}

bool AppendFileBytes(const std::wstring& path, std::string_view bytes) {
  return WriteHostFile(path, bytes, std::ios::app);
}

uint32_t ReadFileThrough(const std::wstring& path, std::string& buffer,
                         const std::function<bool(std::string_view chunk)>& visit, bool& read_failed) {
  read_failed = false;
  standin::NoteOpen(path);
  if (const uint32_t error = InjectedError(path)) return error;
  const std::string host = standin::HostPath(path);
  if (host.empty()) return 3;  // ERROR_PATH_NOT_FOUND
  std::error_code ignored;
  if (std::filesystem::is_directory(host, ignored)) return 5;  // ERROR_ACCESS_DENIED, as for a folder on Windows
  std::ifstream in(host, std::ios::binary);
  if (!in) return 2;  // ERROR_FILE_NOT_FOUND
  uint64_t readable = ReadLimit(path);
  if (buffer.empty()) buffer.resize(1);
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    const std::streamsize got = in.gcount();
    if (got <= 0) break;
    if (static_cast<uint64_t>(got) > readable) {  // the medium went away mid-read
      read_failed = true;
      return 0;
    }
    readable -= static_cast<uint64_t>(got);
    std::function<void()> action;
    {
      std::lock_guard<std::mutex> hold(standin::MachineLock());
      auto& machine = standin::TheMachine();
      machine.traffic[path].bytes_read += static_cast<uint64_t>(got);
      const auto found = machine.read_actions.find(path);
      if (found != machine.read_actions.end()) {
        action = std::move(found->second);
        machine.read_actions.erase(found);
      }
    }
    if (action) action();
    if (!visit(std::string_view(buffer.data(), static_cast<std::size_t>(got)))) return 0;
  }
  read_failed = in.bad();
  return 0;
}

bool ReadFileInChunks(const std::wstring& path, std::size_t chunk_bytes,
                      const std::function<bool(std::string_view chunk)>& visit) {
  std::string buffer(std::max<std::size_t>(chunk_bytes, 1), '\0');
  bool read_failed = false;
  return ReadFileThrough(path, buffer, visit, read_failed) == 0 && !read_failed;
}

bool CanOpenForReading(const std::wstring& path) {
  return ReadFileInChunks(path, 1, [](std::string_view) { return false; });
}

uint32_t ProbeOpenForReading(const std::wstring& path) {
  standin::NoteOpen(path);
  {
    std::lock_guard<std::mutex> hold(standin::MachineLock());
    const auto& held = standin::TheMachine().held_files;
    const auto found = held.find(path);
    if (found != held.end()) return found->second;
  }
  if (const uint32_t error = InjectedError(path)) return error;
  const std::string host = standin::HostPath(path);
  if (host.empty()) return 3;  // ERROR_PATH_NOT_FOUND
  std::ifstream in(host, std::ios::binary);
  return in ? 0 : 2;  // ERROR_FILE_NOT_FOUND
}

// As GetFileAttributesExW: a link's own status, never its target's. A symbolic link
// carries the folder attribute when it was made for a folder, so a link to a folder
// is a folder here; its size is 0 and its time is when the link was made.
bool QueryFileInfo(const std::wstring& path, FileInfo& info) {
  const std::string host = ReachableHostPath(path);
  if (host.empty()) return false;
  std::error_code error;
  const auto status = std::filesystem::symlink_status(host, error);
  if (error || !std::filesystem::exists(status)) return false;
  info = FileInfo();
  info.is_reparse_point = std::filesystem::is_symlink(status);
  info.is_directory = std::filesystem::is_directory(host, error);
  if (info.is_reparse_point) {
    struct stat own {};
    if (lstat(host.c_str(), &own) != 0) return false;
    const auto made = std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::seconds(own.st_mtim.tv_sec) + std::chrono::nanoseconds(own.st_mtim.tv_nsec)));
    info.last_write_time = Ticks(std::chrono::file_clock::from_sys(made));
    return true;
  }
  if (!info.is_directory) info.size = std::filesystem::file_size(host, error);
  info.last_write_time = Ticks(std::filesystem::last_write_time(host, error));
  return true;
}

bool QueryFileInfoOfTarget(const std::wstring& path, FileInfo& info) {
  standin::NoteOpen(path);
  const std::string host = ReachableHostPath(path);
  if (host.empty()) return false;
  std::error_code error;
  const auto status = std::filesystem::status(host, error);  // links followed, as an open follows them
  if (error || !std::filesystem::exists(status)) return false;
  info = FileInfo();
  info.is_directory = std::filesystem::is_directory(status);
  if (!info.is_directory) info.size = std::filesystem::file_size(host, error);
  info.last_write_time = Ticks(std::filesystem::last_write_time(host, error));
  return true;
}

bool QueryFileStamp(const std::wstring& path, uint64_t& last_write_time, uint64_t& size) {
  last_write_time = 0;
  size = 0;
  const std::string host = ReachableHostPath(path);
  if (host.empty()) return false;
  std::error_code time_error;
  std::error_code size_error;
  const auto written = std::filesystem::last_write_time(host, time_error);
  const auto bytes = std::filesystem::file_size(host, size_error);
  if (!time_error) last_write_time = Ticks(written);
  if (!size_error) size = bytes;
  return !time_error || !size_error;
}

bool ReadFileHead(const std::wstring& path, std::size_t max_bytes, std::string& head, uint64_t& file_size) {
  FileInfo info;
  if (!QueryFileInfoOfTarget(path, info) || info.is_directory || info.size == 0) return false;
  std::string bytes;
  if (max_bytes > 0 && !ReadFileInChunks(path, 65536, [&](std::string_view chunk) {
        bytes.append(chunk.substr(0, max_bytes - bytes.size()));
        return bytes.size() < max_bytes;
      })) {
    return false;
  }
  head = std::move(bytes);
  file_size = info.size;
  return true;
}

namespace {
// A host folder's entries sorted by name, as NTFS lists, so that tests see one order.
bool SortedHostEntries(const std::string& host, std::vector<std::filesystem::directory_entry>& items) {
  std::error_code error;
  for (const auto& item : std::filesystem::directory_iterator(host, error)) items.push_back(item);
  if (error) return false;
  std::sort(items.begin(), items.end(), [](const auto& a, const auto& b) { return a.path() < b.path(); });
  return true;
}

// What a listing says of one entry: a link is a reparse point with its own status.
FolderEntry HostFolderEntry(const std::filesystem::directory_entry& item) {
  std::error_code error;
  FolderEntry entry;
  const std::string name = item.path().filename().string();
  entry.name.assign(name.begin(), name.end());
  const auto status = item.symlink_status(error);
  entry.is_reparse_point = std::filesystem::is_symlink(status);
  entry.is_directory = std::filesystem::is_directory(status) ||
                       (entry.is_reparse_point && std::filesystem::is_directory(item.path(), error));
  if (!entry.is_directory && !entry.is_reparse_point) entry.size = item.file_size(error);
  entry.last_write_time = Ticks(std::filesystem::last_write_time(item.path(), error));
  return entry;
}
}  // namespace

uint32_t VisitFolder(const std::wstring& folder, const std::function<bool(const FolderEntry& entry)>& visit) {
  if (const uint32_t error = InjectedError(folder)) return error;
  const std::string host = standin::HostPath(folder);
  std::error_code error;
  if (host.empty() || !std::filesystem::exists(host, error)) return 3;  // ERROR_PATH_NOT_FOUND
  if (!std::filesystem::is_directory(host, error)) return 267;          // ERROR_DIRECTORY
  standin::Machine::ListingFault fault;
  {
    std::lock_guard<std::mutex> hold(standin::MachineLock());
    const auto& faults = standin::TheMachine().listing_faults;
    const auto found = faults.find(folder);
    if (found != faults.end()) fault = found->second;
  }
  std::vector<std::filesystem::directory_entry> items;
  if (!SortedHostEntries(host, items)) return 5;  // ERROR_ACCESS_DENIED
  std::size_t handed = 0;
  for (const auto& item : items) {
    if (fault.error_code != 0 && handed == fault.after_entries) return fault.error_code;
    const FolderEntry entry = HostFolderEntry(item);
    if (standin::HiddenFromFind(folder, entry.name)) continue;
    ++handed;
    if (!visit(entry)) return 0;
  }
  if (fault.error_code != 0 && handed == fault.after_entries) return fault.error_code;
  return 0;
}

bool VisitFolderThroughLibrary(const std::wstring& folder, const std::function<void(const LibraryEntry& entry)>& visit) {
  const std::string host = ReachableHostPath(folder);
  std::error_code error;
  if (host.empty() || !std::filesystem::is_directory(host, error)) return false;
  std::size_t fails_after = std::numeric_limits<std::size_t>::max();
  {
    std::lock_guard<std::mutex> hold(standin::MachineLock());
    const auto& faults = standin::TheMachine().library_faults;
    const auto found = faults.find(standin::PathKeyOf(folder));
    if (found != faults.end()) fails_after = found->second;
  }
  std::vector<std::filesystem::directory_entry> items;
  for (const auto& item : std::filesystem::directory_iterator(host, error)) items.push_back(item);
  if (error) return false;
  std::sort(items.begin(), items.end(), [](const auto& a, const auto& b) { return a.path() < b.path(); });
  const bool ends_with_separator = !folder.empty() && (folder.back() == L'\\' || folder.back() == L'/');
  std::size_t handed = 0;
  for (const auto& item : items) {
    if (handed == fails_after) throw std::runtime_error("directory_iterator::operator++: listing broke off");
    const std::string name = item.path().filename().string();
    LibraryEntry entry;
    entry.path = folder + (ends_with_separator ? L"" : L"\\") + std::wstring(name.begin(), name.end());
    entry.is_regular_file = item.is_regular_file(error);
    entry.is_link = item.is_symlink(error);
    ++handed;
    visit(entry);
  }
  if (handed == fails_after) throw std::runtime_error("directory_iterator::operator++: listing broke off");
  return true;
}

uint32_t VisitFolderNative(const std::wstring& folder, const std::function<bool(const FolderEntry& entry)>& visit) {
  const std::wstring key = standin::PathKeyOf(folder);
  standin::Machine::ListingFault fault;
  std::function<void(std::size_t)> hook;
  {
    std::lock_guard<std::mutex> hold(standin::MachineLock());
    auto& machine = standin::TheMachine();
    machine.journal.push_back("VisitFolderNative " + standin::Narrow(folder));
    const auto found_fault = machine.native_listing_faults.find(key);
    if (found_fault != machine.native_listing_faults.end()) fault = found_fault->second;
    const auto found_hook = machine.native_listing_hooks.find(key);
    if (found_hook != machine.native_listing_hooks.end()) hook = found_hook->second;
  }
  if (hook) hook(0);
  if (const uint32_t error = InjectedError(folder)) return error;
  const std::string host = standin::HostPath(folder);
  std::error_code error;
  if (host.empty() || !std::filesystem::exists(host, error)) return 3;  // ERROR_PATH_NOT_FOUND
  if (!std::filesystem::is_directory(host, error)) return 267;          // ERROR_DIRECTORY
  std::vector<std::filesystem::directory_entry> items;
  if (!SortedHostEntries(host, items)) return 5;  // ERROR_ACCESS_DENIED
  // The native query knows nothing of the find interface, so a name hidden from
  // the find listing is still here.
  std::size_t handed = 0;
  for (const auto& item : items) {
    if (fault.error_code != 0 && handed == fault.after_entries) return fault.error_code;
    const FolderEntry entry = HostFolderEntry(item);
    ++handed;
    if (!visit(entry)) return 0;
    if (hook) hook(handed);
  }
  if (fault.error_code != 0 && handed == fault.after_entries) return fault.error_code;
  return 0;
}

bool ReplaceFileWith(const std::wstring& target, const std::wstring& replacement) {
  const std::string to = ReachableHostPath(target);
  const std::string from = ReachableHostPath(replacement);
  if (to.empty() || from.empty() || IsLinkedHostFile(to)) return false;
  std::error_code error;
  std::filesystem::rename(from, to, error);
  return !error;
}

bool DeleteFileAt(const std::wstring& path) {
  const std::string host = ReachableHostPath(path);
  if (host.empty() || standin::IsReadOnly(path)) return false;
  std::error_code error;
  std::filesystem::remove(host, error);
  return !std::filesystem::exists(host, error);
}

bool MoveFileTo(const std::wstring& from, const std::wstring& to) {
  const std::string source = ReachableHostPath(from);
  const std::string target = ReachableHostPath(to);
  if (source.empty() || target.empty()) return false;
  // A rename never crosses volumes (ERROR_NOT_SAME_DEVICE) nor replaces a file.
  if (towupper(from[0]) != towupper(to[0])) return false;
  std::error_code error;
  if (std::filesystem::exists(std::filesystem::symlink_status(target, error))) return false;
  if (!std::filesystem::exists(std::filesystem::symlink_status(source, error))) return false;
  if (standin::IsFolderHeld(from)) return false;  // open without delete sharing: ERROR_SHARING_VIOLATION
  std::filesystem::rename(source, target, error);
  return !error;
}

bool CopyFileOver(const std::wstring& from, const std::wstring& to) {
  std::string bytes;
  if (!ReadFileBytes(from, bytes)) return false;
  if (!WriteFileBytes(to, bytes)) return false;  // refused over a read-only file, as CopyFileW does
  SetReadOnly(to, standin::IsReadOnly(from));     // the copy takes the source's attributes
  return true;
}

namespace {
bool SetExistingReadOnly(const std::wstring& path, bool read_only) {
  const std::string host = ReachableHostPath(path);
  std::error_code error;
  if (host.empty() || !std::filesystem::exists(host, error)) return false;
  SetReadOnly(path, read_only);
  return true;
}
}  // namespace

bool SetNormalAttributes(const std::wstring& path) { return SetExistingReadOnly(path, false); }

bool SetReadOnlyAttribute(const std::wstring& path) { return SetExistingReadOnly(path, true); }

bool DeleteFileOnce(const std::wstring& path) {
  const std::string host = ReachableHostPath(path);
  if (host.empty() || standin::IsReadOnly(path)) return false;
  std::error_code error;
  if (std::filesystem::is_directory(host, error)) return false;
  return std::filesystem::remove(host, error);
}

bool QueryFreeSpace(const std::wstring& path, uint64_t& free_bytes, uint64_t& total_bytes) {
  if (path.size() < 2 || path[1] != L':') return false;
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  auto& machine = standin::TheMachine();
  const wchar_t letter = static_cast<wchar_t>(towupper(path[0]));
  if (machine.drives.find(letter) == machine.drives.end()) return false;
  const auto& state = machine.drive_states[letter];
  free_bytes = state.free_bytes;
  total_bytes = state.total_bytes;
  return true;
}

std::wstring FullPathOf(const std::wstring& path) {
  if (path.size() >= 2 && path[1] == L':') return path;
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  return standin::TheMachine().current_folder + L"\\" + path;
}

}  // namespace platform
