#pragma once
// The dashboard window's handle, kept so that dialogs can be parented to it.
#include <windows.h>

namespace platform::win32 {

HWND MainWindow();
void SetMainWindow(HWND window);

}  // namespace platform::win32
