#pragma once
// The notification-area icon of the dashboard window, and the window events that
// the window procedure hands to the program.
#include <string>

namespace platform {

// Adds the drawn icon with its tip (modify first, add when that fails).
bool TrayAddIcon();
// Removes the icon and destroys the drawn image.
void TrayRemoveIcon();
// A warning balloon on the icon; a newer one replaces an older one. Callable from
// any thread; false without an icon.
bool TrayShowBalloon(const std::wstring& title, const std::wstring& text);

// Shows the window again (SW_RESTORE) and brings it to the front.
void GuiRestoreWindow();

// What the user did to the window or its tray icon, or what happened to the icon
// (the taskbar was made again, after Explorer restarted, and the icon added to it).
enum class GuiEvent { HideToTray, ShowFromTray, TrayQuickScan, TrayExit, TrayIconAddedAgain };

// The program's handler for these events, called on the main thread.
void GuiSetEventHandler(void (*handler)(GuiEvent event));

}  // namespace platform
