#pragma once
// The tray icon's callback message.
#include <windows.h>

namespace platform::win32 {

constexpr UINT kTrayCallbackMessage = WM_APP + 7;

}  // namespace platform::win32
