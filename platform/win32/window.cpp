#include "platform/win32/window.h"

#include <atomic>

#include "platform/win32/tray_icon.h"

namespace platform::win32 {

namespace {
std::atomic<HWND> g_main_window{nullptr};
}

HWND MainWindow() { return g_main_window.load(); }

void SetMainWindow(HWND window) {
  g_main_window.store(window);
  const UINT taskbar_created = TaskbarCreatedMessage();
  // Explorer runs without elevation; in admin mode its broadcast would be filtered
  // out before it reached our window, and the icon lost for good.
  if (window && taskbar_created != 0) ChangeWindowMessageFilterEx(window, taskbar_created, MSGFLT_ALLOW, nullptr);
}

UINT TaskbarCreatedMessage() {
  static const UINT message = RegisterWindowMessageW(L"TaskbarCreated");
  return message;
}

}  // namespace platform::win32
