#include "ui/gui_frame.h"

#include <imgui.h>
#include <imgui_internal.h>

#include "app/guarded_step.h"
#include "platform/gui.h"

void InitGuiLibrary() {
  IMGUI_CHECKVERSION();
  ImGui::CreateContext();
  ImGui::GetIO().IniFilename = nullptr;  // no settings file is ever written
  ImGui::StyleColorsDark();
  platform::GuiInitBackends();
}

void ShutdownGuiLibrary() {
  platform::GuiShutdownBackends();
  ImGui::DestroyContext();
}

void DrawGuiFrame(const std::function<void()>& draw_dashboard) {
  platform::GuiBackendsNewFrame();
  ImGui::NewFrame();
  if (!RunGuarded(L"gui-frame", draw_dashboard)) {
    // Close whatever the faulted drawing left open so that the frame can end.
    ImGui::ErrorCheckEndFrameRecover(nullptr, nullptr);
  }
  ImGui::Render();
}

void PresentGuiFrame(bool vsync) { platform::GuiRenderAndPresent(vsync); }
