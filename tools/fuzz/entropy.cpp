// The entropy count, whole and in two chunks split where the first byte says.
#include "engine/pe_analysis.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view bytes = Bytes(data, size);
  const double whole = EntropyOfHead(bytes);
  EntropyTally tally;
  const std::size_t split = size == 0 ? 0 : data[0] % size;
  tally.Add(bytes.substr(0, split));
  tally.Add(bytes.substr(split));
  if (whole < 0.0 || whole > 8.0 || tally.Entropy() != whole) __builtin_trap();
  return 0;
}
