#include "ui/dashboard_style.h"

#include <imgui.h>

namespace {
bool g_style_applied = false;
}

void ApplyDashboardStyle() {
  if (g_style_applied) return;
  g_style_applied = true;
  ImGuiStyle& style = ImGui::GetStyle();
  style.WindowPadding = ImVec2(18, 18);
  style.WindowRounding = 12;
  style.WindowBorderSize = 0;
  style.ChildRounding = 16;
  style.ChildBorderSize = 0;
  style.PopupRounding = 12;
  style.FramePadding = ImVec2(16, 12);
  style.FrameRounding = 12;
  style.ItemSpacing = ImVec2(12, 12);
  style.GrabRounding = 12;
  style.TabRounding = 12;

  ImVec4* colors = style.Colors;
  colors[ImGuiCol_Text] = ImVec4(0.94f, 0.95f, 0.97f, 1.0f);
  colors[ImGuiCol_TextDisabled] = ImVec4(0.62f, 0.66f, 0.72f, 1.0f);
  colors[ImGuiCol_WindowBg] = ImVec4(0.05f, 0.06f, 0.08f, 1.0f);
  colors[ImGuiCol_ChildBg] = ImVec4(0.09f, 0.10f, 0.13f, 1.0f);
  colors[ImGuiCol_FrameBg] = ImVec4(0.12f, 0.13f, 0.17f, 1.0f);
  colors[ImGuiCol_Button] = ImVec4(0.14f, 0.16f, 0.21f, 1.0f);
  colors[ImGuiCol_ButtonHovered] = ImVec4(0.18f, 0.36f, 0.72f, 1.0f);
  colors[ImGuiCol_ButtonActive] = ImVec4(0.12f, 0.30f, 0.62f, 1.0f);
  colors[ImGuiCol_Header] = ImVec4(0.16f, 0.34f, 0.68f, 0.45f);
  colors[ImGuiCol_Separator] = ImVec4(0.20f, 0.22f, 0.28f, 1.0f);
}

void ResetDashboardStyleForTest() { g_style_applied = false; }
