#include "platform/crypto.h"

#include <openssl/evp.h>

#include <memory>

#include "platform/files.h"

// The stand-in hashes with OpenSSL's libcrypto over the same chunked read.
namespace platform {

bool Sha256OfFile(const std::wstring& path, std::string& digest) {
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) return false;
  bool ok = true;
  if (!ReadFileInChunks(path, 65536, [&](std::string_view chunk) {
        ok = EVP_DigestUpdate(context.get(), chunk.data(), chunk.size()) == 1;
        return ok;
      })) {
    return false;
  }
  unsigned char bytes[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (!ok || EVP_DigestFinal_ex(context.get(), bytes, &length) != 1) return false;
  digest.assign(reinterpret_cast<const char*>(bytes), length);
  return true;
}

}  // namespace platform
