#pragma once
// Output of console programs, and the wait before their window closes.
#include <string>

namespace platform {

// Writes the text to standard output: as wide text on a console, as UTF-8 otherwise.
void WriteStandardOutput(const std::wstring& text);

// Whether a person is at the console: standard input and standard output are both a
// console window, not a file or a pipe.
bool IsInteractiveConsole();

// Waits until a key is pressed in the console; returns at once when standard input
// is no console or cannot be read.
void WaitForKey();

}  // namespace platform
