#include "ui/vpn_panel.h"

#include <imgui.h>

#include <algorithm>

#include "app/guarded_step.h"
#include "app/os_profile.h"
#include "app/wide.h"
#include "platform/clock.h"
#include "platform/processes.h"
#include "platform/ras.h"

bool VpnPanelOpen = false;
std::atomic<bool> VpnConnected{false};
std::wstring VpnStatusText;
int32_t VpnCountryIndex = 0;
int32_t LastSpot = 0;

const char* const kVpnCountries[kVpnCountryCount] = {"USA", "Germany", "India", "UK", "Japan"};

namespace {
constexpr std::size_t kStatusChars = 127;  // the status buffer holds 128 with its terminator
constexpr uint32_t kFirstVpnSettingsBuild = 10240;

const char* const kCities[kVpnCountryCount][5] = {
    {"New York", "Dallas", "Miami", "Seattle", "Chicago"},
    {"Frankfurt", "Berlin", "Munich", "Hamburg", "Cologne"},
    {"Mumbai", "Delhi", "Bengaluru", "Chennai", "Hyderabad"},
    {"London", "Manchester", "Birmingham", "Edinburgh", "Leeds"},
    {"Tokyo", "Osaka", "Nagoya", "Fukuoka", "Sapporo"},
};

void SetVpnStatus(const std::string& text) { VpnStatusText = WidenBytes(text.substr(0, kStatusChars)); }

int32_t CountryIndex() { return std::clamp<int32_t>(VpnCountryIndex, 0, kVpnCountryCount - 1); }

bool Dial(const std::wstring& entry) { return platform::ShellOpenHidden(L"rasdial.exe", L"\"" + entry + L"\"", L""); }

void DrawNotUsedScreen(const ImVec2& size) {
  ImGui::SetCursorPos(ImVec2(0.14f * size.x, 0.3f * size.y));
  ImGui::BeginChild("vpnnone", ImVec2(0.72f * size.x, 180), true);
  ImGui::TextUnformatted("VPN is not used on this system.");
  ImGui::TextUnformatted(OsProfile.OsProfileText);
  if (ImGui::Button("Back", ImVec2(-1, 36))) VpnPanelOpen = false;
  ImGui::EndChild();
}
}  // namespace

void PickRandomSpot() {
  const int32_t country = CountryIndex();
  int32_t spot = static_cast<int32_t>(platform::TickCount64() % 5);
  if (spot == LastSpot) spot = static_cast<int32_t>((spot + 1 + (platform::TickCount64() & 3)) % 5);
  LastSpot = spot;
  SetVpnStatus(std::string("Spot: ") + kVpnCountries[country] + " / " + kCities[country][spot]);
}

bool ConnectVpn(const std::string& country) {
  if (!OsProfile.IsWorkstation) {
    SetVpnStatus(std::string("VPN is off on ") + OsProfile.OsProfileText);
    return false;
  }
  bool started = Dial(L"KestruneVPN_" + WidenBytes(country));
  if (!started) {
    const std::wstring entry = platform::FirstPhonebookEntry();
    if (!entry.empty()) started = Dial(entry);
  }
  if (!started) {
    platform::ShellOpenShown(OsProfile.BuildNumber < kFirstVpnSettingsBuild ? L"rasphone.exe"
                                                                            : L"ms-settings:network-vpn");
    SetVpnStatus("Add Windows profile " + country + " first");
    return false;
  }
  VpnConnected.store(true);
  SetVpnStatus("Connecting " + country);
  return true;
}

void DisconnectVpn() {
  platform::ShellOpenHidden(L"rasdial.exe", L"/disconnect", L"");
  VpnConnected.store(false);
  SetVpnStatus("Disconnected");
}

void DrawVpnPanel() {
  const ImVec2 size = ImGui::GetWindowSize();
  if (!OsProfile.IsWorkstation) {
    DrawNotUsedScreen(size);
    return;
  }
  ImGui::SetCursorPos(ImVec2(0.14f * size.x, 0.14f * size.y));
  ImGui::BeginChild("vpnpanel", ImVec2(0.72f * size.x, 0.72f * size.y), true);
  ImGui::TextUnformatted("VPN");
  ImGui::Dummy(ImVec2(0, 8));
  ImGui::TextWrapped("Pick a country. Then we pick a random city that is not your home spot.");
  ImGui::Dummy(ImVec2(0, 10));
  ImGui::SetNextItemWidth(-1);
  ImGui::Combo("Country", &VpnCountryIndex, kVpnCountries, kVpnCountryCount);
  ImGui::Dummy(ImVec2(0, 8));
  if (ImGui::Button("Random spot", ImVec2(-1, 40))) PickRandomSpot();
  if (!VpnStatusText.empty()) {
    const std::string status = ToUtf8(VpnStatusText);
    ImGui::TextUnformatted(status.c_str());
  }
  ImGui::Dummy(ImVec2(0, 12));
  if (ImGui::Button("Done \xE2\x80\x94 connect", ImVec2(-1, 44))) {
    if (VpnStatusText.find(L"Spot:") == std::wstring::npos) PickRandomSpot();
    const std::string country = kVpnCountries[CountryIndex()];
    RunGuarded(L"vpn-connect", [&country] { ConnectVpn(country); });
    VpnPanelOpen = false;
  }
  if (ImGui::Button("Disconnect", ImVec2(-1, 40))) {
    RunGuarded(L"vpn-disconnect", DisconnectVpn);
    VpnPanelOpen = false;
  }
  if (ImGui::Button("Back", ImVec2(-1, 36))) VpnPanelOpen = false;
  ImGui::EndChild();
}
