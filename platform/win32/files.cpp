#include "platform/files.h"

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>

#include "platform/win32/final_path.h"
#include "platform/win32/handles.h"

namespace platform {

namespace {
using win32::OwnFileHandle;
using win32::UniqueHandle;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Readers share with writers and deleters so that files in use by others can still be scanned.
UniqueHandle OpenSharedForReading(const std::wstring& path) {
  return OwnFileHandle(CreateFileW(win32::ApiPath(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
}

struct FindCloser {
  void operator()(HANDLE search) const { FindClose(search); }
};
using UniqueFind = std::unique_ptr<std::remove_pointer_t<HANDLE>, FindCloser>;

uint64_t Join(DWORD high, DWORD low) { return (static_cast<uint64_t>(high) << 32) | low; }

bool IsFolder(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// True only for the "not found" family; a path that refuses access may still be there.
bool IsMissing(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES && IsNotFoundError(GetLastError());
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
  if (GetFileAttributesW(win32::ApiPath(path).c_str()) != INVALID_FILE_ATTRIBUTES) return true;
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

namespace {
// Fills the buffer from the file's current position in pieces of at most 1 MiB; a
// file that shrank while being read leaves the buffer cut to what was there. False
// on a failed read.
bool ReadInto(HANDLE file, std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
    DWORD got = 0;
    if (!ReadFile(file, bytes.data() + done, want, &got, nullptr)) return false;
    if (got == 0) break;
    done += got;
  }
  bytes.resize(done);
  return true;
}
}  // namespace

bool ReadFileBytes(const std::wstring& path, std::string& out) {
  const auto file = OpenSharedForReading(path);
  if (!file) return false;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0) return false;
  std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
  if (!ReadInto(file.get(), bytes)) return false;
  out = std::move(bytes);
  return true;
}

namespace {
// Writes every byte in pieces of at most 1 MiB; false on the first failed write.
bool WriteAll(HANDLE file, std::string_view bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
    DWORD wrote = 0;
    if (!WriteFile(file, bytes.data() + done, want, &wrote, nullptr) || wrote == 0) return false;
    done += wrote;
  }
  return true;
}
}  // namespace

namespace {
// A link or a second hard link at the path would carry the bytes to another file.
bool IsLinkedFile(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info{};
  return !GetFileInformationByHandle(file, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
         info.nNumberOfLinks != 1;
}

// Opens (creating when missing) the file itself for writing: a reparse point at the
// path is opened as itself, not followed, and refused with a hard-linked file before
// a byte is changed; OPEN_ALWAYS rather than CREATE_ALWAYS for the same reason.
// A file that ended up elsewhere than the path says (a link in a folder on the way)
// is refused too, and removed again through its handle when this open made it.
UniqueHandle OpenUnlinkedForWriting(const std::wstring& path, DWORD access) {
  auto file = OwnFileHandle(CreateFileW(path.c_str(), access | FILE_READ_ATTRIBUTES | DELETE, FILE_SHARE_READ,
                                        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                        nullptr));
  if (!file) return nullptr;
  const bool made_here = GetLastError() != ERROR_ALREADY_EXISTS;
  if (IsLinkedFile(file.get())) return nullptr;
  if (!win32::HandleIsAt(file.get(), path)) {
    if (made_here) {
      FILE_DISPOSITION_INFO dispose{TRUE};
      SetFileInformationByHandle(file.get(), FileDispositionInfo, &dispose, sizeof(dispose));
    }
    return nullptr;
  }
  return file;
}

// True when the path names a link or a hard-linked file; a path that cannot be
// opened at all (missing, say) is not one.
bool IsLinkedPath(const std::wstring& path) {
  const auto file = OwnFileHandle(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                              FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return file && IsLinkedFile(file.get());
}
}  // namespace

bool WriteFileBytes(const std::wstring& path, std::string_view bytes) {
  const auto file = OpenUnlinkedForWriting(path, GENERIC_WRITE);
  if (!file || !SetEndOfFile(file.get())) return false;  // freshly opened: the end moves to 0
  return WriteAll(file.get(), bytes);
}

bool AppendFileBytes(const std::wstring& path, std::string_view bytes) {
  // Append-only access makes every write land at the current end of the file.
  const auto file = OpenUnlinkedForWriting(path, FILE_APPEND_DATA);
  if (!file) return false;
  return WriteAll(file.get(), bytes);
}

uint32_t ReadFileThrough(const std::wstring& path, std::string& buffer,
                         const std::function<bool(std::string_view chunk)>& visit, bool& read_failed) {
  read_failed = false;
  // Sequential-scan access lets the cache read ahead of a pass that goes front to back.
  const auto file = OwnFileHandle(CreateFileW(win32::ApiPath(path).c_str(), GENERIC_READ, kShareAll, nullptr,
                                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN,
                                              nullptr));
  if (!file) return GetLastError();
  // ReadFile takes a DWORD count; a zero-byte buffer could never make progress.
  if (buffer.empty()) buffer.resize(1);
  const DWORD size = static_cast<DWORD>(std::min<std::size_t>(buffer.size(), std::numeric_limits<DWORD>::max()));
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file.get(), buffer.data(), size, &got, nullptr)) {
      read_failed = true;
      return 0;
    }
    if (got == 0 || !visit(std::string_view(buffer.data(), got))) return 0;
  }
}

bool ReadFileInChunks(const std::wstring& path, std::size_t chunk_bytes,
                      const std::function<bool(std::string_view chunk)>& visit) {
  std::string buffer(std::max<std::size_t>(chunk_bytes, 1), '\0');
  bool read_failed = false;
  return ReadFileThrough(path, buffer, visit, read_failed) == 0 && !read_failed;
}

bool CanOpenForReading(const std::wstring& path) { return static_cast<bool>(OpenSharedForReading(path)); }

bool QueryFileInfo(const std::wstring& path, FileInfo& info) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(win32::ApiPath(path).c_str(), GetFileExInfoStandard, &data)) return false;
  info.is_directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  info.is_reparse_point = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  info.size = Join(data.nFileSizeHigh, data.nFileSizeLow);
  info.last_write_time = Join(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime);
  return true;
}

namespace {
// The status of whatever the path leads to, links followed; backup semantics let a
// folder be opened too.
bool QueryThroughHandle(const std::wstring& path, BY_HANDLE_FILE_INFORMATION& data) {
  const auto file = OwnFileHandle(CreateFileW(win32::ApiPath(path).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return file && GetFileInformationByHandle(file.get(), &data);
}
}  // namespace

bool QueryFileInfoOfTarget(const std::wstring& path, FileInfo& info) {
  BY_HANDLE_FILE_INFORMATION data{};
  if (!QueryThroughHandle(path, data)) return false;
  info.is_directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  info.is_reparse_point = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  info.size = Join(data.nFileSizeHigh, data.nFileSizeLow);
  info.last_write_time = Join(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime);
  return true;
}

bool ReadFileHead(const std::wstring& path, std::size_t max_bytes, std::string& head, uint64_t& file_size) {
  const auto file = OpenSharedForReading(path);
  if (!file) return false;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0) return false;
  const uint64_t total = static_cast<uint64_t>(size.QuadPart);
  // Ordinary reads rather than a mapped view: a medium pulled mid-read fails the
  // read instead of raising an in-page fault in whoever touches the bytes.
  std::string bytes(static_cast<std::size_t>(std::min<uint64_t>(total, max_bytes)), '\0');
  if (!ReadInto(file.get(), bytes)) return false;
  head = std::move(bytes);
  file_size = total;
  return true;
}

namespace {
// The folder in the form the find calls take it: past MAX_PATH (a deep tree, long
// names under node_modules) the "\\?\" form, made from the full path since that
// form takes no "/", "." or ".." ("\\?\UNC\" for a share).
std::wstring ListingFolder(const std::wstring& folder) {
  constexpr std::size_t kShortEnough = MAX_PATH - 12;  // as ApiPath: anything shorter is taken as it is
  if (folder.size() < kShortEnough || folder.rfind(L"\\\\?\\", 0) == 0) return folder;
  const std::wstring full = win32::FullPathOf(folder);
  if (full.empty()) return folder;
  const bool is_share = full.rfind(L"\\\\", 0) == 0 && full.rfind(L"\\\\?\\", 0) != 0 && full.rfind(L"\\\\.\\", 0) != 0;
  return is_share ? L"\\\\?\\UNC\\" + full.substr(2) : win32::ApiPath(full);
}
}  // namespace

uint32_t VisitFolder(const std::wstring& folder, const std::function<bool(const FolderEntry& entry)>& visit) {
  const std::wstring listed = ListingFolder(folder);
  const bool has_separator = !listed.empty() && (listed.back() == L'\\' || listed.back() == L'/');
  WIN32_FIND_DATAW found{};
  const HANDLE first = FindFirstFileExW((listed + (has_separator ? L"*" : L"\\*")).c_str(), FindExInfoBasic, &found,
                                        FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (first == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    // A drive root has no "." and "..", so an empty one matches nothing at all.
    if (error == ERROR_FILE_NOT_FOUND && IsFolder(listed)) return 0;
    return error;
  }
  const UniqueFind search(first);
  do {
    const std::wstring_view name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    FolderEntry entry;
    entry.name.assign(name);
    entry.is_directory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.is_reparse_point = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    entry.size = Join(found.nFileSizeHigh, found.nFileSizeLow);
    entry.last_write_time = Join(found.ftLastWriteTime.dwHighDateTime, found.ftLastWriteTime.dwLowDateTime);
    if (!visit(entry)) return 0;
  } while (FindNextFileW(search.get(), &found));
  const DWORD error = GetLastError();
  return error == ERROR_NO_MORE_FILES ? 0 : error;  // otherwise the listing broke off part-way
}

uint32_t ProbeOpenForReading(const std::wstring& path) {
  const auto file = OpenSharedForReading(path);
  return file ? 0 : GetLastError();
}

bool QueryFileStamp(const std::wstring& path, uint64_t& last_write_time, uint64_t& size) {
  last_write_time = 0;
  size = 0;
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(win32::ApiPath(path).c_str(), GetFileExInfoStandard, &data)) return false;
  if (!(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    last_write_time = Join(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime);
    size = Join(data.nFileSizeHigh, data.nFileSizeLow);
    return true;
  }
  // The attributes of a link are the link's own; opening it reaches the target.
  BY_HANDLE_FILE_INFORMATION info{};
  if (!QueryThroughHandle(path, info)) return false;
  last_write_time = Join(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime);
  size = Join(info.nFileSizeHigh, info.nFileSizeLow);
  return true;
}

// From here to DeleteFileOnce the calls act by path: only ever on the program's own
// data folder, which no unelevated program can write to or rename in an elevated run
// (see files.h). Paths others control go through verified_files.cpp.
bool ReplaceFileWith(const std::wstring& target, const std::wstring& replacement) {
  const auto move_into_place = [&] {
    return MoveFileExW(replacement.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  };
  if (IsMissing(target)) return move_into_place();
  if (IsLinkedPath(target)) return false;
  // Wine's ReplaceFileW swaps the content in one step but keeps the replacement's
  // attributes rather than merging in the target's, and when a sharing violation
  // refuses it, leaves an empty rf*.tmp beside the target; Windows does neither.
  if (ReplaceFileW(target.c_str(), replacement.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
    return true;
  }
  // The target went away in the meantime, or ReplaceFileW removed it and then could
  // not rename the replacement (1176): either way there is nothing left to keep.
  const DWORD error = GetLastError();
  if (!IsNotFoundError(error) && error != ERROR_UNABLE_TO_MOVE_REPLACEMENT) return false;
  return IsMissing(target) && move_into_place();
}

bool DeleteFileAt(const std::wstring& path) {
  if (DeleteFileW(path.c_str())) return true;
  return IsNotFoundError(GetLastError());
}

bool MoveFileTo(const std::wstring& from, const std::wstring& to) { return MoveFileW(from.c_str(), to.c_str()) != 0; }

bool CopyFileOver(const std::wstring& from, const std::wstring& to) {
  if (IsLinkedPath(to)) return false;
  return CopyFileW(from.c_str(), to.c_str(), FALSE) != 0;
}

bool SetNormalAttributes(const std::wstring& path) {
  return SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL) != 0;
}

bool SetReadOnlyAttribute(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  return SetFileAttributesW(path.c_str(), (attributes & ~FILE_ATTRIBUTE_NORMAL) | FILE_ATTRIBUTE_READONLY) != 0;
}

bool DeleteFileOnce(const std::wstring& path) { return DeleteFileW(path.c_str()) != 0; }

bool VisitFolderThroughLibrary(const std::wstring& folder, const std::function<void(const LibraryEntry& entry)>& visit) {
  namespace fs = std::filesystem;
  std::error_code error;
  fs::directory_iterator item(fs::path(folder), error);
  if (error) return false;
  for (const fs::directory_iterator end; item != end;) {
    LibraryEntry entry;
    entry.path = item->path().wstring();
    std::error_code status_error;
    entry.is_regular_file = item->is_regular_file(status_error);
    entry.is_link = item->is_symlink(status_error);
    visit(entry);
    item.increment(error);
    if (error) throw std::runtime_error("directory_iterator::operator++: " + error.message());
  }
  return true;
}

bool QueryFreeSpace(const std::wstring& path, uint64_t& free_bytes, uint64_t& total_bytes) {
  std::wstring folder = path;
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    const std::size_t cut = folder.find_last_of(L"\\/");
    if (cut != std::wstring::npos) folder.resize(cut);
  }
  // A share ("\\server\share\") is only accepted with its trailing separator.
  if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
  ULARGE_INTEGER available{};
  ULARGE_INTEGER total{};
  if (!GetDiskFreeSpaceExW(folder.c_str(), &available, &total, nullptr)) return false;
  free_bytes = available.QuadPart;
  total_bytes = total.QuadPart;
  return true;
}

std::wstring FullPathOf(const std::wstring& path) {
  const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);  // counts the terminator
  if (needed == 0) return path;
  std::wstring full(needed, L'\0');
  const DWORD length = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
  if (length == 0 || length >= needed) return path;
  full.resize(length);
  return full;
}

}  // namespace platform
