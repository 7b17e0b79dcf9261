#include "platform/win32/window.h"

#include <atomic>

namespace platform::win32 {

namespace {
std::atomic<HWND> g_main_window{nullptr};
}

HWND MainWindow() { return g_main_window.load(); }

void SetMainWindow(HWND window) { g_main_window.store(window); }

}  // namespace platform::win32
