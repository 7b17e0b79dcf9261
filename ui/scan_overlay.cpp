#include "ui/scan_overlay.h"

#include <imgui.h>

#include <algorithm>
#include <cmath>

#include "app/scan_state.h"
#include "ui/dashboard_state.h"
#include "ui/shield_emblem.h"
#include "ui/window_events.h"

void DrawScanOverlay(float x, float y, float width, float height) {
  ImGui::PushStyleVar(ImGuiStyleVar_Alpha, OverlayFade.load());

  ImGui::SetCursorPos(ImVec2(width - 56, 12));
  if (ImGui::Button("X##scanback", ImVec2(40, 40))) {
    OverlayShown.store(false);
    if (!ScanActive.load()) {
      ScanProgress.store(0.0f);
      ThreatState.store(0);
      ShownProgress = 0.0f;
    }
  }

  const float r = std::clamp(0.28f * std::min(width, height), 120.0f, 220.0f);
  DrawShieldEmblem(ImGui::GetWindowDrawList(), x + 0.5f * width, y + 0.38f * height, r, ShownProgress);

  ImGui::SetCursorPos(ImVec2(0.5f * width - 180, 0.66f * height));
  ImGui::PushTextWrapPos(0.5f * width + 180);
  ImGui::TextUnformatted(ScanActive.load() ? "Scanning this device" : "Scan complete");
  ImGui::SetCursorPosX(0.5f * width - 180);
  ImGui::TextUnformatted(StatusWord());
  ImGui::SetCursorPosX(0.5f * width - 180);
  ImGui::Text("Progress  %d%%", static_cast<int>(std::lround(ShownProgress * 100.0f)));
  ImGui::PopTextWrapPos();

  ImGui::SetCursorPos(ImVec2(0.5f * width - 90, 0.84f * height));
  if (ImGui::Button("Hide to tray", ImVec2(180, 36))) HideToTray();

  ImGui::PopStyleVar();
}
