#pragma once
// Process environment variables.
#include <string>

namespace platform {

// The variable's value; false when it is not set or empty.
bool ReadEnvironmentVariable(const wchar_t* name, std::wstring& value);

// The user's temporary folder as GetTempPathW gives it (at most 260 characters,
// ending with a backslash); false when the call fails.
bool TempFolder(std::wstring& folder);

// The text with every %NAME% of a set variable replaced by its value
// (ExpandEnvironmentStringsW); names that are not set stay as written.
std::wstring ExpandEnvironmentText(const std::wstring& text);

}  // namespace platform
