#include "ui/vpn_panel.h"

#include <imgui.h>

#include <algorithm>

#include "app/command_line.h"
#include "app/guarded_step.h"
#include "app/os_profile.h"
#include "app/wide.h"
#include "platform/clock.h"
#include "platform/processes.h"
#include "platform/ras.h"
#include "upkeep/admin_mode.h"

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

// Starts the system folder's own copy of the tool, never one the shell or the search
// path would find; arguments "" for none. True when it started.
bool StartSystemTool(const std::wstring& tool, const std::wstring& arguments, platform::ProgramWindow window) {
  const std::wstring system = platform::SystemFolder();
  if (system.empty()) return false;
  const std::wstring program = system + L"\\" + tool;
  const std::wstring command_line = L"\"" + program + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
  return platform::StartProgram(program, command_line, system, window) == 0;
}

// Entry names come from the user's phone book, which any program of the user can
// write. Quoting keeps a name one argument, but rasdial still reads an argument that
// begins with a switch character as a switch, and a control character has no place
// in a name.
bool IsDiallableName(const std::wstring& entry) {
  const std::size_t first = entry.find_first_not_of(L" \t");
  if (first == std::wstring::npos || entry[first] == L'/' || entry[first] == L'-') return false;
  return std::none_of(entry.begin(), entry.end(),
                      [](wchar_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); });
}

bool Dial(const std::wstring& entry) {
  return IsDiallableName(entry) &&
         StartSystemTool(L"rasdial.exe", QuoteArgument(entry), platform::ProgramWindow::Hidden);
}

// Where to add a profile: the phone-book dialog before Windows 10, else the VPN
// settings page. The page is opened through the shell, which looks it up in the
// user's own class keys; an elevated program does not let those choose what it
// starts, so it only says where the page is.
void ShowWhereToAddProfile(const std::string& country) {
  const std::string add = "Add Windows profile " + country + " first";
  if (OsProfile.BuildNumber < kFirstVpnSettingsBuild) {
    StartSystemTool(L"rasphone.exe", L"", platform::ProgramWindow::Shown);
    SetVpnStatus(add);
  } else if (AdminMode.load()) {
    SetVpnStatus(add + " (Settings > Network & internet > VPN)");
  } else {
    platform::ShellOpenShown(L"ms-settings:network-vpn");
    SetVpnStatus(add);
  }
}

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
    ShowWhereToAddProfile(country);
    return false;
  }
  VpnConnected.store(true);
  SetVpnStatus("Connecting " + country);
  return true;
}

void DisconnectVpn() {
  StartSystemTool(L"rasdial.exe", L"/disconnect", platform::ProgramWindow::Hidden);
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
