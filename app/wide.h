#pragma once
// Conversions between the program's wide text and narrow text.
#include <string>
#include <string_view>

// Each byte becomes one wide character (exception messages, OS profile text).
std::wstring WidenBytes(std::string_view bytes);

// UTF-8 for the GUI library; UTF-16 surrogate pairs and 32-bit wchar_t both handled.
std::string ToUtf8(std::wstring_view text);
