// The scan-index reader, line by line, as LoadScanIndex takes the file apart.
#include "engine/scan_index.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view bytes = Bytes(data, size);
  std::size_t start = 0;
  while (start <= bytes.size()) {
    std::size_t end = bytes.find('\n', start);
    if (end == std::string_view::npos) end = bytes.size();
    ParseScanIndexLine(bytes.substr(start, end - start));
    start = end + 1;
  }
  return 0;
}
