#pragma once
// Data files are 8-bit text with CR LF line ends on disk, whichever build writes them.
#include <cstddef>
#include <string>
#include <string_view>

// Reads the file and turns its CR LF line ends into LF; false when it cannot be read.
bool ReadTextFile(const std::wstring& path, std::string& text);

// Reads at most max_bytes of the file, CR LF turned into LF. A file longer than that
// keeps only its whole lines within the bound (a line cut by it is dropped), and cut
// says so. False when it cannot be read.
bool ReadTextFilePrefix(const std::wstring& path, std::size_t max_bytes, std::string& text, bool& cut);

// The most read of a one-word setting file (terms, admin choice).
constexpr std::size_t kSmallSettingBytes = 4096;

// Writes the text with every LF stored as CR LF, replacing the file.
bool WriteTextFile(const std::wstring& path, std::string_view text);

// The line-end conversions on their own.
std::string ToCrLf(std::string_view text);
std::string FromCrLf(std::string_view text);
