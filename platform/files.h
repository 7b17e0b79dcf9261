#pragma once
// Files and folders, addressed by Windows-form wide paths ("C:\KestruneAV\x.txt").
#include <cstdint>
#include <string>
#include <string_view>

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

}  // namespace platform
