#include "ui/shield_emblem.h"

#include <imgui.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/scan_state.h"

namespace {
const ImU32 kAccent = IM_COL32(46, 140, 232, 255);
const ImU32 kNearBlack = IM_COL32(8, 8, 10, 255);
const ImU32 kWhite = IM_COL32(255, 255, 255, 255);

void Hexagon(float cx, float cy, float r, ImVec2 (&points)[6]) {
  points[0] = ImVec2(cx, cy - r);
  points[1] = ImVec2(cx + 0.6f * r, cy - 0.3f * r);
  points[2] = ImVec2(cx + 0.4f * r, cy + 0.6f * r);
  points[3] = ImVec2(cx, cy + r);
  points[4] = ImVec2(cx - 0.4f * r, cy + 0.6f * r);
  points[5] = ImVec2(cx - 0.6f * r, cy - 0.3f * r);
}
}  // namespace

void DrawShieldEmblem(ImDrawList* draw, float cx, float cy, float r, float fill) {
  fill = std::clamp(fill, 0.0f, 1.0f);
  // Every colour takes the global alpha, so the emblem fades with the overlay and dims
  // with the dashboard under it.
  const ImU32 accent = ImGui::GetColorU32(kAccent);
  const ImU32 near_black = ImGui::GetColorU32(kNearBlack);
  const ImU32 white = ImGui::GetColorU32(kWhite);
  ImVec2 outline[6];
  Hexagon(cx, cy, r, outline);
  const bool scanning = ScanActive.load();

  if (OverlayShown.load() || scanning) {
    draw->AddConvexPolyFilled(outline, 6, near_black);
    // The white level: the band from the rising line down to just below the tip.
    const float top = (cy + r) - 2.0f * r * fill;
    draw->PushClipRect(ImVec2(cx - r, top), ImVec2(cx + r, cy + r + 3.0f), true);
    draw->AddConvexPolyFilled(outline, 6, white);
    draw->PopClipRect();
  } else {
    draw->AddConvexPolyFilled(outline, 6, white);
  }
  draw->AddPolyline(outline, 6, accent, ImDrawFlags_Closed, 0.075f * r);

  if (!scanning) {
    const ImVec2 corner(cx - 0.04f * r, cy + 0.22f * r);
    draw->AddLine(ImVec2(cx - 0.22f * r, cy + 0.02f * r), corner, accent, 0.075f * r);
    draw->AddLine(corner, ImVec2(cx + 0.3f * r, cy - 0.2f * r), accent, 0.075f * r);
    return;
  }
  char percent[16];
  std::snprintf(percent, sizeof percent, "%d%%", std::min(100, static_cast<int>(std::lround(fill * 100.0f))));
  const float width = ImGui::CalcTextSize(percent).x;
  draw->AddText(ImGui::GetFont(), 0.16f * r, ImVec2(cx - 0.22f * width, cy + 1.08f * r), accent, percent);
}
