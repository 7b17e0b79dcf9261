// The hashing limit of the benchmark: walks a folder tree and SHA-256-hashes every
// file with the platform's provider, reading as the engine reads, and does nothing
// else. A scanner that also judges each file cannot be expected to beat it.
#include <cstdint>
#include <string>

#include "platform/console.h"
#include "platform/crypto.h"
#include "platform/files.h"

namespace {
struct Totals {
  uint64_t files = 0;
  uint64_t bytes = 0;
};

void HashTree(const std::wstring& folder, std::string& buffer, Totals& totals) {
  platform::VisitFolder(folder, [&](const platform::FolderEntry& entry) {
    const std::wstring path = folder + L"\\" + entry.name;
    if (entry.is_reparse_point) return true;
    if (entry.is_directory) {
      HashTree(path, buffer, totals);
      return true;
    }
    const platform::Sha256Stream hash = platform::BeginSha256();
    if (!hash) return true;
    bool read_failed = false;
    uint64_t bytes = 0;
    const uint32_t error = platform::ReadFileThrough(path, buffer, [&](std::string_view chunk) {
      bytes += chunk.size();
      return platform::AddToSha256(*hash, chunk);
    }, read_failed);
    std::string digest;
    if (error == 0 && !read_failed && platform::FinishSha256(*hash, digest)) {
      ++totals.files;
      totals.bytes += bytes;
    }
    return true;
  });
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    platform::WriteStandardOutput(L"Usage: kav_hash_walk FOLDER\r\n");
    return 2;
  }
  std::string buffer(524288, '\0');
  Totals totals;
  HashTree(platform::FullPathOf(argv[1]), buffer, totals);
  platform::WriteStandardOutput(L"hashed " + std::to_wstring(totals.files) + L" files, " +
                                std::to_wstring(totals.bytes) + L" bytes\r\n");
  return 0;
}
