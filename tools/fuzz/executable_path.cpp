// The program path of an autostart or service command line.
#include "fuzz_input.h"
#include "inspect/run_keys.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::wstring command = WideText(data, size);
  ExtractExecutablePath(command);
  return 0;
}
