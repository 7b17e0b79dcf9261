#include "ui/dashboard_columns.h"

#include <imgui.h>

#include <algorithm>
#include <string>

#include "app/activity_log.h"
#include "app/cpu_sampler.h"
#include "app/os_profile.h"
#include "app/run_counters.h"
#include "app/scan_state.h"
#include "app/wide.h"
#include "ui/actions.h"
#include "ui/dashboard_state.h"
#include "ui/quarantine_screen.h"
#include "ui/shield_emblem.h"
#include "ui/vpn_panel.h"
#include "ui/window_events.h"
#include "upkeep/admin_mode.h"

namespace {
void Spacer(float height) { ImGui::Dummy(ImVec2(0, height)); }

void DrawActivityList() {
  ImGui::BeginChild("log", ImVec2(0, 0), true);
  // Follow new lines only when the list was at its end before they were added.
  const bool at_end = ImGui::GetScrollY() >= ImGui::GetScrollMaxY();
  ForEachActivityLine([](const std::wstring& line) {
    const std::string text = ToUtf8(line);
    ImGui::TextUnformatted(text.c_str(), text.c_str() + text.size());
  });
  if (at_end) ImGui::SetScrollHereY(1.0f);
  ImGui::EndChild();
}
}  // namespace

void DrawRail() {
  Spacer(8);
  ImGui::TextUnformatted("Kestrune");
  ImGui::TextDisabled("Protection");
  Spacer(18);
  ImGui::TextDisabled("STATUS");
  ImGui::TextUnformatted(StatusWord());
  Spacer(8);
  ImGui::TextDisabled("ADMIN");
  ImGui::TextUnformatted(AdminMode.load() ? "On" : "Off");
  Spacer(8);
  ImGui::TextDisabled("RESOURCES");
  SampleCpu();
  ImGui::Text("CPU  %.0f%%", CpuPercent.load());
  SampleCpu();
  ImGui::Text("GPU  %.0f%%", GpuPercent.load());
  ImGui::Text("Scan %llu", static_cast<unsigned long long>(RunCounters.scanned.load()));
  ImGui::Text("Skip %llu", static_cast<unsigned long long>(RunCounters.skipped_unchanged.load()));
  ImGui::Text("Wait %llu", static_cast<unsigned long long>(RunCounters.deferred_other_av.load()));
  ImGui::Text("Held %d", HeldCount.load() + IsolationInFlight.load());
  Spacer(16);
  if (!AdminMode.load() && ImGui::Button("Enable Admin", ImVec2(-1, 36))) EnableAdminAction();
  if (ImGui::Button("Hide to tray", ImVec2(-1, 36))) HideToTray();
  if (ImGui::Button("Quarantined", ImVec2(-1, 36))) OpenQuarantineScreen();
}

void DrawHero() {
  const float width = ImGui::GetContentRegionAvail().x;
  const float r = std::clamp(0.38f * width, 110.0f, 200.0f);
  const ImVec2 top = ImGui::GetCursorScreenPos();
  // The hero's emblem is always the calm one: fill level 1 with the check mark.
  DrawShieldEmblem(ImGui::GetWindowDrawList(), top.x + 0.5f * width, top.y + r * 1.15f, r, 1.0f);
  Spacer(r * 2.35f);
  ImGui::SetCursorPosX(24);
  ImGui::TextUnformatted(StatusWord());
  ImGui::SetCursorPosX(40);
  ImGui::TextDisabled("%s", ThreatSentence());
}

void DrawActions() {
  ImGui::TextUnformatted("Actions");
  ImGui::TextDisabled("Scan, isolate, update");
  Spacer(8);
  const float available = ImGui::GetContentRegionAvail().y;
  const float height =
      std::clamp((available - std::max(90.0f, 0.28f * available) - 70.0f) / 7.0f, 36.0f, 72.0f);
  const ImVec2 button(-1, height);

  if (ImGui::Button("Quick Scan", button)) QuickScanAction();
  if (ImGui::Button("Full Scan", button)) FullScanAction();
  if (ImGui::Button("Quarantine target", button)) QuarantineTargetAction();
  if (ImGui::Button("Quarantine folder...", button)) QuarantineFolderAction();
  if (!OsProfile.IsWorkstation) {
    ImGui::TextDisabled("VPN off (%s)", OsProfile.OsProfileText);
  } else if (ImGui::Button(VpnConnected ? "VPN  On" : "VPN", button)) {
    VpnPanelOpen = true;
    VpnStatusText = L"Choose a country";
  }
  if (ImGui::Button("Run disinfection", button)) DisinfectionAction();
  if (ImGui::Button("Check for updates", button)) CheckForUpdatesAction();
  if (ImGui::Button("Pin to taskbar", button)) PinToTaskbarAction();

  Spacer(8);
  ImGui::TextDisabled("ACTIVITY");
  DrawActivityList();
}
