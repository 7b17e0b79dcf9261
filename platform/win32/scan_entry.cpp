// Process entry of KestruneScan.exe, the console scanner.
#include <windows.h>

#include <string>
#include <vector>

#include "app/scan_command.h"

int wmain(int argc, wchar_t** argv) {
  std::vector<std::wstring> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  return RunScanCommand(args);
}
