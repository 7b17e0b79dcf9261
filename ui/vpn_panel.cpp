#include "ui/vpn_panel.h"

#include <imgui.h>

#include "app/wide.h"

bool VpnPanelOpen = false;
bool VpnConnected = false;
std::wstring VpnStatusText;

void DrawVpnPanel() {
  ImGui::TextUnformatted("VPN");
  const std::string status = ToUtf8(VpnStatusText);
  ImGui::TextDisabled("%s", status.c_str());
  ImGui::Dummy(ImVec2(0, 12));
  if (ImGui::Button("Back", ImVec2(160, 36))) VpnPanelOpen = false;
}
