// The safe-hash list as it is loaded from its file (bounded read, CR LF, lines).
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "engine/hash_lists.h"
#include "fuzz_input.h"
#include "platform/standin/control.h"

namespace {
const wchar_t* const kList = L"C:\\safe-hashes.txt";
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const auto drive = std::filesystem::temp_directory_path() / ("kav-fuzz-safe-" + std::to_string(getpid()));
  std::filesystem::create_directories(drive);
  standin::MapDrive(L'C', drive.string());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::ofstream(standin::HostPath(kList), std::ios::binary).write(reinterpret_cast<const char*>(data), size);
  ResetHashListsForTest();
  LoadSafeHashes(kList);
  IsSafeHash(std::wstring(64, L'a'));
  return 0;
}
