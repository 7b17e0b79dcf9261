// The command of a scheduled task's definition file, in any encoding it may hold.
#include "fuzz_input.h"
#include "inspect/task_definition.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  FirstTaskCommand(Bytes(data, size));
  return 0;
}
