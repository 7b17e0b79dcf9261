#pragma once
// Process environment variables.
#include <string>

namespace platform {

// The variable's value; false when it is not set or empty.
bool ReadEnvironmentVariable(const wchar_t* name, std::wstring& value);

}  // namespace platform
