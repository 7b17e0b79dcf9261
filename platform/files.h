#pragma once
// Files and folders, addressed by Windows-form wide paths ("C:\KestruneAV\x.txt").
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// True for the error codes that mean "it is not there": file or path not found,
// bad network path, network name deleted, invalid name, bad path name, not a directory.
bool IsNotFoundError(uint32_t code);

// True when the path names an existing file or folder, false for the "not found"
// family; any other error throws std::runtime_error.
bool PathExists(const std::wstring& path);

// Creates the folder and every missing parent; false when it does not exist afterwards.
bool MakeDirectories(const std::wstring& path);

// Reads the whole file as bytes; false when it cannot be opened or read.
bool ReadFileBytes(const std::wstring& path, std::string& out);

// Replaces the file's content with the bytes; false when it cannot be written.
bool WriteFileBytes(const std::wstring& path, std::string_view bytes);

// Adds the bytes at the end of the file, creating it when missing; false on failure.
bool AppendFileBytes(const std::wstring& path, std::string_view bytes);

// Opens the file for reading, shared with other readers, writers and deleters, and
// hands its bytes to the visitor in chunks of at most chunk_bytes until the end of
// the file, a read error, or the visitor returns false. False when it cannot be opened
// or a read fails, so that callers who need every byte (hashing) can tell.
bool ReadFileInChunks(const std::wstring& path, std::size_t chunk_bytes,
                      const std::function<bool(std::string_view chunk)>& visit);

// True when the file can be opened for reading, shared as above (closed again at once).
bool CanOpenForReading(const std::wstring& path);

// What the file system says of a path without opening it (GetFileAttributesExW).
struct FileInfo {
  bool is_directory = false;
  bool is_reparse_point = false;
  uint64_t size = 0;
  uint64_t last_write_time = 0;  // file-time ticks of 100 ns
};
bool QueryFileInfo(const std::wstring& path, FileInfo& info);

// Maps the first min(size, max_bytes) bytes of the file read-only (opened with read
// access and read sharing) and hands them to the visitor with the file's size. False
// when the file cannot be opened, sized or mapped (an empty file cannot be mapped).
bool VisitMappedHead(const std::wstring& path, std::size_t max_bytes,
                     const std::function<void(const unsigned char* bytes, std::size_t length,
                                              uint64_t file_size)>& visit);

// The entries of a folder (not "." and ".."); false when it cannot be listed.
struct FolderEntry {
  std::wstring name;
  bool is_directory = false;
  bool is_reparse_point = false;
};
bool ListFolder(const std::wstring& folder, std::vector<FolderEntry>& entries);

// The absolute form of a path typed by a user (GetFullPathNameW); the path itself on failure.
std::wstring FullPathOf(const std::wstring& path);

}  // namespace platform
