#pragma once
// The quarantine screen: every stored file with where it came from, when and why it
// was isolated, and its Restore and Delete. The folder is read off the GUI thread each
// time the screen opens, and the file work runs on one-shot steps, so no frame waits.
#include <string>

extern bool QuarantineScreenOpen;  // the dashboard shows this screen instead of its main one (main thread)

// Opens the screen and starts reading the quarantine folder ("quarantine-list").
void OpenQuarantineScreen();

// Draws the screen inside the dashboard window (main thread).
void DrawQuarantineScreen();

// The last result line the screen shows ("" for none).
std::wstring QuarantineScreenStatus();

// True while a reading, restore or delete started by the screen has not finished.
bool QuarantineScreenBusy();

// Closed, empty and idle (tests only).
void ResetQuarantineScreenForTest();
