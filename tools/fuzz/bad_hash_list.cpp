// The bad-hash list parser.
#include "engine/hash_lists.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  for (const auto& hash : ParseBadHashList(Bytes(data, size))) {
    if (hash.size() != 64) __builtin_trap();
  }
  return 0;
}
