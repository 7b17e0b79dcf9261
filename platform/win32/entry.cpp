// Process entry of KestruneAV.exe: hands the narrow command line and the
// show-command from Windows to the program.
#include <windows.h>

#include "app/startup.h"

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR command_line, int show_command) {
  // First of all: the program may run elevated from a folder others can write, so
  // no library it or the system loads later is looked for beside it.
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  return RunProgram(command_line ? command_line : "", show_command);
}
