#include "platform/crypto.h"

#include <windows.h>
#include <bcrypt.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string_view>

namespace platform {

namespace {
struct AlgorithmCloser {
  void operator()(BCRYPT_ALG_HANDLE algorithm) const { BCryptCloseAlgorithmProvider(algorithm, 0); }
};
using UniqueAlgorithm = std::unique_ptr<void, AlgorithmCloser>;

struct SharedProvider {
  UniqueAlgorithm algorithm;
  DWORD digest_length = 0;
};

SharedProvider OpenProvider() {
  SharedProvider opened;
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) return opened;
  opened.algorithm.reset(algorithm);
  DWORD length = 0;
  ULONG written = 0;
  if (BCRYPT_SUCCESS(BCryptGetProperty(algorithm, BCRYPT_HASH_LENGTH, reinterpret_cast<PUCHAR>(&length),
                                       sizeof(length), &written, 0))) {
    opened.digest_length = length;
  }
  return opened;
}

// Opened once for the process: opening a provider costs far more than hashing a
// small file, and an algorithm handle may create hashes on any thread at once. An
// open that failed is tried again at the next hash, so that one failure does not
// leave every hash of the run empty. Once open, the provider is never replaced.
struct ProviderView {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  DWORD digest_length = 0;
};
ProviderView Provider() {
  static std::mutex lock;
  static SharedProvider provider;
  std::lock_guard<std::mutex> hold(lock);
  if (!provider.algorithm || provider.digest_length == 0) provider = OpenProvider();
  return {provider.algorithm.get(), provider.digest_length};
}
}  // namespace

struct Sha256Work {
  BCRYPT_HASH_HANDLE hash = nullptr;
};

void EndSha256(Sha256Work* work) {
  if (!work) return;
  if (work->hash) BCryptDestroyHash(work->hash);
  delete work;
}

Sha256Stream BeginSha256() {
  const ProviderView provider = Provider();
  if (!provider.algorithm || provider.digest_length == 0) return nullptr;
  Sha256Stream work(new Sha256Work);
  if (!BCRYPT_SUCCESS(BCryptCreateHash(provider.algorithm, &work->hash, nullptr, 0, nullptr, 0, 0))) {
    work->hash = nullptr;
    return nullptr;
  }
  return work;
}

bool AddToSha256(Sha256Work& work, std::string_view bytes) {
  // BCryptHashData takes a ULONG count; larger pieces go in parts.
  while (!bytes.empty()) {
    const ULONG part = static_cast<ULONG>(std::min<std::size_t>(bytes.size(), 1u << 30));
    if (!BCRYPT_SUCCESS(BCryptHashData(work.hash, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())), part, 0))) {
      return false;
    }
    bytes.remove_prefix(part);
  }
  return true;
}

bool FinishSha256(Sha256Work& work, std::string& digest) {
  std::string result(Provider().digest_length, '\0');
  if (!BCRYPT_SUCCESS(BCryptFinishHash(work.hash, reinterpret_cast<PUCHAR>(result.data()),
                                       static_cast<ULONG>(result.size()), 0))) {
    return false;
  }
  digest = std::move(result);
  return true;
}

}  // namespace platform
