#pragma once
// Data files are 8-bit text with CR LF line ends on disk, whichever build writes them.
#include <string>
#include <string_view>

// Reads the file and turns its CR LF line ends into LF; false when it cannot be read.
bool ReadTextFile(const std::wstring& path, std::string& text);

// Writes the text with every LF stored as CR LF, replacing the file.
bool WriteTextFile(const std::wstring& path, std::string_view text);

// The line-end conversions on their own.
std::string ToCrLf(std::string_view text);
std::string FromCrLf(std::string_view text);
