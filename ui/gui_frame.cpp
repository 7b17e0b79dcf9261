#include "ui/gui_frame.h"

#include <imgui.h>
#include <imgui_internal.h>

#include "app/guarded_step.h"
#include "platform/gui.h"

namespace {
constexpr ImWchar kEmDash = 0x2014;

// The built-in font has no em dash, which the program's own texts use: it gets a
// drawn glyph, a line across the middle of the character cell.
void AddEmDashGlyph(ImGuiIO& io) {
  ImFontConfig config;
  config.SizePixels = 13.0f;  // the built-in font's own size: 7 pixels per character
  ImFont* font = io.Fonts->AddFontDefault(&config);
  const float size = config.SizePixels;
  const float advance = size * 7.0f / 13.0f;
  const int width = static_cast<int>(advance);
  const int height = static_cast<int>(size);
  const int rect_id = io.Fonts->AddCustomRectFontGlyph(font, kEmDash, width, height, advance);
  io.Fonts->Build();
  unsigned char* pixels = nullptr;
  int atlas_width = 0;
  int atlas_height = 0;
  io.Fonts->GetTexDataAsRGBA32(&pixels, &atlas_width, &atlas_height);
  const ImFontAtlasCustomRect* rect = io.Fonts->GetCustomRectByIndex(rect_id);
  if (!pixels || !rect || !rect->IsPacked()) return;
  const int row = rect->Y + height / 2;
  for (int x = rect->X; x < rect->X + width; ++x) {
    reinterpret_cast<ImU32*>(pixels)[row * atlas_width + x] = IM_COL32(255, 255, 255, 255);
  }
}
}  // namespace

void InitGuiLibrary() {
  IMGUI_CHECKVERSION();
  ImGui::CreateContext();
  ImGuiIO& io = ImGui::GetIO();
  io.IniFilename = nullptr;  // no settings file is ever written
  ImGui::StyleColorsDark();
  AddEmDashGlyph(io);
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
