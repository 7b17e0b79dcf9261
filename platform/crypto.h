#pragma once
// The platform's SHA-256.
#include <string>

namespace platform {

// SHA-256 of the whole file, read in 64 KiB chunks while shared with other readers
// and writers; the 32 digest bytes go to digest. False when the file cannot be opened
// or the hash provider fails.
bool Sha256OfFile(const std::wstring& path, std::string& digest);

}  // namespace platform
