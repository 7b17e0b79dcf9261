// The test-file verdict over any whole file.
#include "engine/test_file.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (IsAntiMalwareTestFile(Bytes(data, size)) && size > 128) __builtin_trap();
  return 0;
}
