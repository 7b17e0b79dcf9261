#include "platform/wlan.h"

#include "platform/standin/machine.h"

namespace standin {

void SetWlan(bool available, const std::wstring& connected_profile) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().wlan_available = available;
  TheMachine().wlan_profile = connected_profile;
}

int WlanDisconnects() {
  std::lock_guard<std::mutex> hold(MachineLock());
  return TheMachine().wlan_disconnects;
}

std::wstring WlanConnectedProfile() {
  std::lock_guard<std::mutex> hold(MachineLock());
  return TheMachine().wlan_profile;
}

void RunNetshWlan(const std::wstring& command_line) {
  static const std::wstring kNetsh = L"\\netsh.exe\" ";
  const std::size_t program_end = command_line.find(kNetsh);
  if (program_end == std::wstring::npos) return;
  const std::wstring arguments = command_line.substr(program_end + kNetsh.size());
  static const std::wstring kConnect = L"wlan connect name=\"";
  std::lock_guard<std::mutex> hold(MachineLock());
  auto& machine = TheMachine();
  if (arguments == L"wlan disconnect") {
    machine.wlan_profile.clear();
  } else if (arguments.rfind(kConnect, 0) == 0 && arguments.size() > kConnect.size() && arguments.back() == L'"') {
    machine.wlan_profile = arguments.substr(kConnect.size(), arguments.size() - kConnect.size() - 1);
  }
}

}  // namespace standin

namespace platform {

bool WlanDisconnectFirstConnected(std::wstring& profile, std::wstring& interface_guid) {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  auto& machine = standin::TheMachine();
  if (!machine.wlan_available) return false;
  profile.clear();
  interface_guid.clear();
  if (machine.wlan_profile.empty()) return true;
  profile = machine.wlan_profile;
  interface_guid = L"{00000000-0000-0000-0000-00000000000a}";
  machine.wlan_profile.clear();
  ++machine.wlan_disconnects;
  return true;
}

bool WlanOpenAndClose() {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  return standin::TheMachine().wlan_available;
}

}  // namespace platform
