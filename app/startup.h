#pragma once
// The program from start to exit.
#include <string_view>

// The whole run: start-up, then the frame loop or the headless run, then shutdown.
// command_line is the narrow command line, show_command the show-command from
// Windows. Returns the exit code, 0 in every case.
int RunProgram(std::string_view command_line, int show_command);

// The five start-up steps, each guarded, in order.
void RunStartupSteps();

// Activity line written once the workers run.
extern const wchar_t* const kEngineActiveLine;
