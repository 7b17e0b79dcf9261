// The quarantine sidecar's "original=" line, read back to restore a file.
#include "fuzz_input.h"
#include "response/quarantine_store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  SidecarOriginal(Bytes(data, size));
  return 0;
}
