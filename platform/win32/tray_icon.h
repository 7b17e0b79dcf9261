#pragma once
// The tray icon's callback message, and putting the icon back when the taskbar is
// made again.
#include <windows.h>

namespace platform::win32 {

constexpr UINT kTrayCallbackMessage = WM_APP + 7;

// The message Explorer broadcasts to every top-level window when it has made the
// taskbar again (after Explorer restarted), registered once; 0 when it could not be.
UINT TaskbarCreatedMessage();

// Adds the icon again with the same record after the taskbar was made again: an
// Explorer that restarted has forgotten every icon. Only when the program has an
// icon (added and not removed); an earlier balloon is not shown again. True when the
// icon is there afterwards.
bool TrayAddIconAgain();

}  // namespace platform::win32
