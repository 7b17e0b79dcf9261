// The tray icon after Explorer restarts: the "TaskbarCreated" broadcast must put the
// icon back, or the program is left running with no way to open it or exit.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include "platform/gui.h"
#include "platform/tray.h"
#include "platform/win32/window.h"

namespace {
class TrayWin32 : public ::testing::Test {
 protected:
  void TearDown() override {
    platform::GuiSetEventHandler(nullptr);
    platform::TrayRemoveIcon();
    platform::GuiDestroyWindow();
    // The window's end posts a quit message to this thread; it must not reach a later test.
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
  }

  // Whether Explorer (Wine's tray) still has the program's icon.
  static bool IconThere() {
    NOTIFYICONDATAW ours{};
    ours.cbSize = sizeof(ours);
    ours.hWnd = platform::win32::MainWindow();
    ours.uID = 1;
    return Shell_NotifyIconW(NIM_MODIFY, &ours) != FALSE;
  }

  // What Explorer sends every top-level window when it has made the taskbar again.
  static void TaskbarMadeAgain() {
    SendMessageW(platform::win32::MainWindow(), RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
  }
};
}  // namespace

TEST_F(TrayWin32, TheIconIsAddedAgainWhenTheTaskbarIsMadeAgain) {
  if (!platform::GuiCreateWindow()) GTEST_SKIP() << "no window can be made here (no display)";
  if (!platform::TrayAddIcon()) GTEST_SKIP() << "no notification area here";
  ASSERT_TRUE(IconThere());

  // A restarted Explorer has forgotten every icon: balloons fail silently from now on.
  NOTIFYICONDATAW ours{};
  ours.cbSize = sizeof(ours);
  ours.hWnd = platform::win32::MainWindow();
  ours.uID = 1;
  ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &ours));
  ASSERT_FALSE(IconThere());
  EXPECT_FALSE(platform::TrayShowBalloon(L"Threat contained", L"before"));

  static int added_again = 0;
  platform::GuiSetEventHandler([](platform::GuiEvent event) {
    added_again += event == platform::GuiEvent::TrayIconAddedAgain ? 1 : 0;
  });
  TaskbarMadeAgain();
  EXPECT_TRUE(IconThere());
  EXPECT_EQ(added_again, 1);  // the program is told, and says so in its log
  EXPECT_TRUE(platform::TrayShowBalloon(L"Threat contained", L"after"));

  // The same broadcast with the icon still there (the taskbar changed its scale) keeps it.
  TaskbarMadeAgain();
  EXPECT_TRUE(IconThere());

  // An icon the program removed on its way out is not brought back.
  platform::TrayRemoveIcon();
  TaskbarMadeAgain();
  EXPECT_FALSE(IconThere());
}
