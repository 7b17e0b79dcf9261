#pragma once
// The dashboard window, its Direct3D 11 device and the GUI library's back ends.
// Only the main thread calls these.
#include <cstdint>

namespace platform {

// Show-command that hides a window (SW_HIDE).
constexpr int kShowHidden = 0;

// Registers the window class and creates the window, not yet shown; false when
// no window could be created.
bool GuiCreateWindow();
bool GuiHasWindow();

// Device and swap chain on hardware, else on WARP; false when both fail.
bool GuiCreateDevice();
// Render-target view of back buffer 0.
void GuiCreateRenderTarget();
// Releases render target, swap chain, context and device, each when present.
void GuiReleaseDevice();

// ShowWindow with the show-command, then UpdateWindow.
void GuiShowWindow(int show_command);
void GuiHideWindow();

// Starts and stops the GUI library's Win32 and Direct3D 11 back ends (the
// library's context is made and destroyed by the caller).
void GuiInitBackends();
void GuiShutdownBackends();

// Dispatches every queued message; true when one of them was WM_QUIT.
bool GuiPumpMessages();

// True while the window is visible and not minimised.
bool GuiWindowShown();

// Starts a frame in both back ends (before the library's own NewFrame).
void GuiBackendsNewFrame();

// Binds and clears the render target, renders the library's draw data and
// presents, waiting for vertical blank when vsync is true.
void GuiRenderAndPresent(bool vsync);

// Sleeps until a message arrives or the timeout ends.
void GuiWaitForMessages(uint32_t timeout_ms);

// DestroyWindow (when a window exists) and UnregisterClassW.
void GuiDestroyWindow();
void GuiUnregisterClass();

}  // namespace platform
