#pragma once
// Building command lines for programs the program starts.
#include <string>
#include <string_view>

// The argument in double quotes, escaped by the rules the C runtime and
// CommandLineToArgvW split by (backslashes before a quote doubled and the quote
// written as \", trailing backslashes doubled before the closing quote), so that
// the started program reads back exactly one argument with exactly this text.
std::wstring QuoteArgument(std::wstring_view argument);
