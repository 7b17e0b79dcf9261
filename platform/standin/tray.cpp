#include "platform/tray.h"

#include "platform/standin/machine.h"

namespace platform {

bool TrayAddIcon() {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  standin::TheMachine().journal.push_back("TrayAddIcon");
  standin::TheMachine().tray_icon = true;
  return true;
}

void TrayRemoveIcon() {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  standin::TheMachine().journal.push_back("TrayRemoveIcon");
  standin::TheMachine().tray_icon = false;
}

bool TrayShowBalloon(const std::wstring& title, const std::wstring& text) {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  if (!standin::TheMachine().tray_icon) return false;
  standin::TheMachine().balloons.emplace_back(title, text);
  return true;
}

void GuiRestoreWindow() {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  standin::TheMachine().journal.push_back("RestoreWindow");
  standin::TheMachine().window_visible = true;
}

void GuiSetEventHandler(void (*handler)(GuiEvent)) {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  standin::TheMachine().gui_event_handler = handler;
}

}  // namespace platform

namespace standin {

bool TrayIconShown() {
  std::lock_guard<std::mutex> hold(MachineLock());
  return TheMachine().tray_icon;
}

std::vector<std::pair<std::wstring, std::wstring>> Balloons() {
  std::lock_guard<std::mutex> hold(MachineLock());
  return TheMachine().balloons;
}

bool WindowVisible() {
  std::lock_guard<std::mutex> hold(MachineLock());
  return TheMachine().window_visible;
}

void SendGuiEvent(platform::GuiEvent event) {
  void (*handler)(platform::GuiEvent) = nullptr;
  {
    std::lock_guard<std::mutex> hold(MachineLock());
    handler = TheMachine().gui_event_handler;
  }
  if (handler) handler(event);
}

}  // namespace standin
