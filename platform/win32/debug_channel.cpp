#include "platform/debug_channel.h"

#include <windows.h>

namespace platform {

void DebugChannelWrite(const std::wstring& line) { OutputDebugStringW(line.c_str()); }

}  // namespace platform
