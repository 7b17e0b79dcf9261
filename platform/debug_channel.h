#pragma once
// The system debug channel (OutputDebugStringW): read by debuggers and support
// tools, never shown to the user and never written to a file.
#include <string>

namespace platform {

void DebugChannelWrite(const std::wstring& line);

}  // namespace platform
