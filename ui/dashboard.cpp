#include "ui/dashboard.h"

#include <imgui.h>

#include <algorithm>
#include <cmath>

#include "app/activity_log.h"
#include "app/data_dir.h"
#include "app/scan_state.h"
#include "platform/clock.h"
#include "ui/actions.h"
#include "ui/dashboard_columns.h"
#include "ui/dashboard_state.h"
#include "ui/dashboard_style.h"
#include "ui/quarantine_screen.h"
#include "ui/scan_overlay.h"
#include "ui/terms_page.h"
#include "ui/vpn_panel.h"

namespace {
constexpr uint64_t kStallMs = 5000;
constexpr uint64_t kVisibleScanLimitMs = 60000;

// Ends the display of a scan; the scan thread itself may go on.
void TakeScanOffScreen() {
  ScanProgress.store(1.0f);
  ScanActive.store(false);
  OverlayShown.store(false);
}

void DrawMainColumns() {
  const float available = ImGui::GetContentRegionAvail().x;
  const float rail_width = std::clamp(0.2f * available, 180.0f, 280.0f);
  ImGui::BeginChild("rail", ImVec2(rail_width, 0), true);
  DrawRail();
  ImGui::EndChild();

  ImGui::SameLine();
  // Measured against the whole row, not what the rail left over.
  const float hero_width = std::max(260.0f, 0.42f * available);
  ImGui::BeginChild("hero", ImVec2(hero_width, 0), true);
  DrawHero();
  ImGui::EndChild();

  ImGui::SameLine();
  ImGui::BeginChild("actions", ImVec2(0, 0), true);
  DrawActions();
  ImGui::EndChild();
}

void DrawRestartPrompt() {
  if (!RestartPromptPending.load()) return;
  ImGui::OpenPopup("Restart to finish");
  if (!ImGui::BeginPopupModal("Restart to finish", nullptr, ImGuiWindowFlags_AlwaysAutoResize)) return;
  if (BootFilesIntact.load()) {
    ImGui::TextUnformatted("The threat was moved to quarantine.");
    ImGui::TextUnformatted("Boot files look intact.");
    ImGui::TextUnformatted("Restart to finish removing anything still in memory?");
    if (ImGui::Button("Restart now", ImVec2(140, 36))) {
      RestartPromptPending.store(false);
      ImGui::CloseCurrentPopup();
      RestartNowAction();
    }
    ImGui::SameLine();
    if (ImGui::Button("Later", ImVec2(140, 36))) {
      RestartPromptPending.store(false);
      ImGui::CloseCurrentPopup();
    }
  } else {
    // Incomplete boot files: a normal restart might not come back, so the card leads
    // to Windows Recovery instead.
    ImGui::TextUnformatted("Boot files look incomplete.");
    ImGui::TextUnformatted("A normal restart may not finish cleanup.");
    ImGui::TextUnformatted("Use Windows Recovery instead.");
    if (ImGui::Button("Open Recovery", ImVec2(160, 36))) {
      RestartPromptPending.store(false);
      ImGui::CloseCurrentPopup();
      OpenRecoveryAction();
    }
    ImGui::SameLine();
    if (ImGui::Button("Close", ImVec2(120, 36))) {
      RestartPromptPending.store(false);
      ImGui::CloseCurrentPopup();
    }
  }
  ImGui::EndPopup();
}
}  // namespace

void RunScanWatchdog(uint64_t now) {
  if (!ScanActive.load()) return;
  if (ScanProgress.load() < 0.05f) ScanProgress.store(0.05f);
  if (std::fabs(ScanProgress.load() - LastProgress) <= 0.004f) {
    if (LastProgressTick != 0 && now - LastProgressTick >= kStallMs) {
      TakeScanOffScreen();
      AppendActivity(L"[SCAN] Progress stalled \u2014 finished the screen. Scan continues in the background.");
    }
  } else {
    LastProgress = ScanProgress.load();
    LastProgressTick = now;
  }
  if (ScanStartTick != 0 && now - ScanStartTick >= kVisibleScanLimitMs) {
    // Only the quick and deep scans' walks heed it; new-disk scans and the disinfection pass go on.
    ScanStopRequested.store(true);
    TakeScanOffScreen();
    AppendActivity(L"[SCAN] Stopped after 1 minute. Remaining folders skipped.");
  }
}

void AnimateOverlay() {
  float fade = OverlayFade.load();
  fade += ((OverlayShown.load() ? 1.0f : 0.0f) - fade) * 0.1f;
  ShownProgress += (ScanProgress.load() - ShownProgress) * 0.08f;
  if (fade < 0.002f) fade = 0.0f;
  if (fade > 0.998f) fade = 1.0f;
  OverlayFade.store(fade);
}

void DrawDashboard() {
  ApplyDashboardStyle();
  const ImGuiIO& io = ImGui::GetIO();
  ImGui::SetNextWindowPos(ImVec2(0, 0));
  ImGui::SetNextWindowSize(io.DisplaySize);
  const ImGuiWindowFlags flags = ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove |
                                 ImGuiWindowFlags_NoScrollbar | ImGuiWindowFlags_NoScrollWithMouse |
                                 ImGuiWindowFlags_NoCollapse;
  ImGui::Begin("Kestrune", nullptr, flags);
  if (TermsPending.load()) {
    DrawTermsPage();
    ImGui::End();
    return;
  }
  if (VpnPanelOpen) {
    DrawVpnPanel();
    ImGui::End();
    return;
  }
  if (QuarantineScreenOpen) {
    DrawQuarantineScreen();
    ImGui::End();
    return;
  }

  RunScanWatchdog(platform::TickCount64());
  AnimateOverlay();

  const ImVec2 position = ImGui::GetWindowPos();
  const ImVec2 size = ImGui::GetWindowSize();
  const float fade = OverlayFade.load();
  if (fade > 0.02f) DrawScanOverlay(position.x, position.y, size.x, size.y);
  if (fade <= 0.92f) {
    ImGui::SetCursorPos(ImGui::GetStyle().WindowPadding);
    ImGui::PushStyleVar(ImGuiStyleVar_Alpha, 1.0f - 0.85f * fade);
    DrawMainColumns();
    ImGui::PopStyleVar();
    DrawRestartPrompt();
  }
  ImGui::End();
}
