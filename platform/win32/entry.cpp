// Process entry of KestruneAV.exe: hands the narrow command line and the
// show-command from Windows to the program.
#include <windows.h>

#include "app/startup.h"

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR command_line, int show_command) {
  // First of all: the program may run elevated from a folder others can write, so
  // no library it or the system loads later is looked for beside it.
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  const int code = RunProgram(command_line ? command_line : "", show_command);
  // Detached workers may still be inside a step: returning would run the destructors
  // of the process-wide state they use. ExitProcess ends those threads first.
  ExitProcess(static_cast<UINT>(code));
}
