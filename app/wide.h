#pragma once
// Conversions between the program's wide text and narrow text.
#include <cstdint>
#include <string>
#include <string_view>

// Each byte becomes one wide character (exception messages, OS profile text).
std::wstring WidenBytes(std::string_view bytes);

// Each byte taken as a signed 8-bit value, so that 0x80 to 0xFF become U+FF80 to
// U+FFFF on every build (tool output, task commands).
std::wstring WidenSignedBytes(std::string_view bytes);

// Each wide character cut to its low byte (the narrow form of hashes).
std::string NarrowLowBytes(std::wstring_view text);

// UTF-8 back to wide text; a byte that starts no valid sequence stands for itself.
std::wstring FromUtf8(std::string_view text);

// UTF-16LE bytes (an odd last byte left out); a surrogate pair becomes one character
// where a wide character holds more than 16 bits.
std::wstring FromUtf16Le(std::string_view bytes);

// Appends one code point, as a surrogate pair where wide characters are 16 bits.
void AppendCodePoint(std::wstring& out, uint32_t cp);

// UTF-8 for the GUI library; UTF-16 surrogate pairs and 32-bit wchar_t both handled.
std::string ToUtf8(std::wstring_view text);
