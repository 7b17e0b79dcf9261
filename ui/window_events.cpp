#include "ui/window_events.h"

#include "app/activity_log.h"
#include "app/data_dir.h"
#include "app/runtime_state.h"
#include "platform/files.h"
#include "platform/gui.h"
#include "ui/actions.h"

namespace {
constexpr std::size_t kBalloonTitleChars = 63;
constexpr std::size_t kBalloonTextChars = 255;
}  // namespace

void HideToTray() {
  platform::GuiHideWindow();
  platform::TrayAddIcon();
  UiVisible.store(false);
  AppendActivity(L"[TRAY] Window hidden. Low-power watch mode.");
}

void ShowFromTray() {
  UiVisible.store(true);
  platform::GuiRestoreWindow();
}

void UserExit() {
  StopAllWorkers();
  platform::TrayRemoveIcon();
  if (!DataDir.empty()) platform::WriteFileBytes(DataDir + L"\\user_shutdown.token", "PERMITTED_CLOSE");
  platform::GuiDestroyWindow();
}

void HandleGuiEvent(platform::GuiEvent event) {
  switch (event) {
    case platform::GuiEvent::HideToTray:
      HideToTray();
      break;
    case platform::GuiEvent::ShowFromTray:
      ShowFromTray();
      break;
    case platform::GuiEvent::TrayQuickScan:
      TrayQuickScanAction();
      break;
    case platform::GuiEvent::TrayExit:
      UserExit();
      break;
    case platform::GuiEvent::TrayIconAddedAgain:
      AppendActivity(L"[TRAY] The taskbar was restarted \u2014 icon added again.");
      break;
  }
}

void ShowTrayBalloon(const std::wstring& title, const std::wstring& text) {
  platform::TrayShowBalloon(title.substr(0, kBalloonTitleChars), text.substr(0, kBalloonTextChars));
}
