// Process entry of KestruneScan.exe, the console scanner.
#include <windows.h>

#include <string>
#include <vector>

#include "app/scan_command.h"

int wmain(int argc, wchar_t** argv) {
  // First of all, as in KestruneAV.exe: libraries come from System32 only, never
  // from the scanner's own folder.
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  std::vector<std::wstring> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  return RunScanCommand(args);
}
