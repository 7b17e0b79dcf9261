#include "platform/crypto.h"
#include "platform/files.h"

namespace platform {

bool Sha256OfFile(const std::wstring& path, std::string& digest) {
  const Sha256Stream hash = BeginSha256();
  if (!hash) return false;
  bool hashed = true;
  if (!ReadFileInChunks(path, 65536, [&](std::string_view chunk) {
        hashed = AddToSha256(*hash, chunk);
        return hashed;
      })) {
    return false;
  }
  return hashed && FinishSha256(*hash, digest);
}

}  // namespace platform
