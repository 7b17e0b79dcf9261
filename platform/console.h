#pragma once
// Output of console programs.
#include <string>

namespace platform {

// Writes the text to standard output: as wide text on a console, as UTF-8 otherwise.
void WriteStandardOutput(const std::wstring& text);

}  // namespace platform
