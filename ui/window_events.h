#pragma once
// Hiding to and showing from the tray, the tray menu, balloons and the user's exit.
#include <string>

#include "platform/tray.h"

// The handler of window and tray events (main thread).
void HandleGuiEvent(platform::GuiEvent event);

// Hides the window, keeps the tray icon and logs the low-power line.
void HideToTray();

// Shows the window again.
void ShowFromTray();

// Clears AppRunning, wakes every worker, removes the icon, leaves the exit token
// and destroys the window (the frame loop then shuts down).
void UserExit();

// A warning balloon; the title is cut to 63 and the text to 255 characters.
void ShowTrayBalloon(const std::wstring& title, const std::wstring& text);
