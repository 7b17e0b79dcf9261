// The page check's line reader in chunks of any size, and the page test on its text.
#include "engine/scorer.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view bytes = Bytes(data, size);
  PageHeadReader reader;
  const std::size_t chunk = size == 0 ? 1 : 1 + data[0] % 64;
  for (std::size_t at = 0; at < size; at += chunk) {
    if (!reader.Add(bytes.substr(at, chunk))) break;
  }
  const std::string text = reader.Finish();
  if (text.size() > 40 * kPageLineLimit + 40) __builtin_trap();  // the bound holds
  IsPhishingText(text);
  return 0;
}
