#include "platform/crypto.h"

#include <openssl/evp.h>

// The stand-in hashes with OpenSSL's libcrypto.
namespace platform {

struct Sha256Work {
  EVP_MD_CTX* context = nullptr;
};

void EndSha256(Sha256Work* work) {
  if (!work) return;
  EVP_MD_CTX_free(work->context);
  delete work;
}

Sha256Stream BeginSha256() {
  Sha256Stream work(new Sha256Work);
  work->context = EVP_MD_CTX_new();
  if (!work->context || EVP_DigestInit_ex(work->context, EVP_sha256(), nullptr) != 1) return nullptr;
  return work;
}

bool AddToSha256(Sha256Work& work, std::string_view bytes) {
  return EVP_DigestUpdate(work.context, bytes.data(), bytes.size()) == 1;
}

bool FinishSha256(Sha256Work& work, std::string& digest) {
  unsigned char bytes[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(work.context, bytes, &length) != 1) return false;
  digest.assign(reinterpret_cast<const char*>(bytes), length);
  return true;
}

}  // namespace platform
