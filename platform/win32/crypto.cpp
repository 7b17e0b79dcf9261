#include "platform/crypto.h"

#include <windows.h>
#include <bcrypt.h>

#include <memory>
#include <string_view>
#include <utility>

#include "platform/files.h"

namespace platform {

namespace {
struct AlgorithmCloser {
  void operator()(BCRYPT_ALG_HANDLE algorithm) const { BCryptCloseAlgorithmProvider(algorithm, 0); }
};
using UniqueAlgorithm = std::unique_ptr<void, AlgorithmCloser>;

struct HashDestroyer {
  void operator()(BCRYPT_HASH_HANDLE hash) const { BCryptDestroyHash(hash); }
};
using UniqueHash = std::unique_ptr<void, HashDestroyer>;

constexpr std::size_t kChunkBytes = 64 * 1024;
}  // namespace

bool Sha256OfFile(const std::wstring& path, std::string& digest) {
  BCRYPT_ALG_HANDLE opened_algorithm = nullptr;
  if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&opened_algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
    return false;
  }
  const UniqueAlgorithm algorithm(opened_algorithm);

  DWORD hash_length = 0;
  ULONG written = 0;
  if (!BCRYPT_SUCCESS(BCryptGetProperty(algorithm.get(), BCRYPT_HASH_LENGTH, reinterpret_cast<PUCHAR>(&hash_length),
                                        sizeof(hash_length), &written, 0)) ||
      hash_length == 0) {
    return false;
  }

  BCRYPT_HASH_HANDLE created_hash = nullptr;
  if (!BCRYPT_SUCCESS(BCryptCreateHash(algorithm.get(), &created_hash, nullptr, 0, nullptr, 0, 0))) return false;
  const UniqueHash hash(created_hash);

  // The file is opened once, by the reader; a failed open ends the hash unfinished.
  bool hashed = true;
  const bool opened = ReadFileInChunks(path, kChunkBytes, [&](std::string_view chunk) {
    hashed = BCRYPT_SUCCESS(BCryptHashData(hash.get(), reinterpret_cast<PUCHAR>(const_cast<char*>(chunk.data())),
                                           static_cast<ULONG>(chunk.size()), 0));
    return hashed;
  });
  if (!opened || !hashed) return false;

  std::string result(hash_length, '\0');
  if (!BCRYPT_SUCCESS(BCryptFinishHash(hash.get(), reinterpret_cast<PUCHAR>(result.data()), hash_length, 0))) {
    return false;
  }
  digest = std::move(result);
  return true;
}

}  // namespace platform
