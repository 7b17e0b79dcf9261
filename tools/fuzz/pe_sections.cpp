// The section-table walk over a file head of any bytes.
#include "engine/pe_analysis.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  HasRwxSection(data, size);
  return 0;
}
