// Process entry of KestruneAV.exe: hands the narrow command line and the
// show-command from Windows to the program.
#include <windows.h>

#include "app/startup.h"

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR command_line, int show_command) {
  return RunProgram(command_line ? command_line : "", show_command);
}
