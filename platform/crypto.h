#pragma once
// The platform's SHA-256.
#include <memory>
#include <string>
#include <string_view>

namespace platform {

// A SHA-256 under way, fed its bytes in pieces.
struct Sha256Work;
void EndSha256(Sha256Work* work);
struct Sha256Ender {
  void operator()(Sha256Work* work) const { EndSha256(work); }
};
using Sha256Stream = std::unique_ptr<Sha256Work, Sha256Ender>;

// A new hash; null when the hash provider fails.
Sha256Stream BeginSha256();

// Adds the bytes; false when the provider fails (the hash is of no use then).
bool AddToSha256(Sha256Work& work, std::string_view bytes);

// The 32 digest bytes; false when the provider fails. The hash is spent afterwards.
bool FinishSha256(Sha256Work& work, std::string& digest);

// SHA-256 of the whole file, read in 64 KiB chunks while shared with other readers
// and writers; the 32 digest bytes go to digest. False when the file cannot be opened,
// a read fails or the hash provider fails.
bool Sha256OfFile(const std::wstring& path, std::string& digest);

}  // namespace platform
