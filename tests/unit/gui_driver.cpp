#include "gui_driver.h"

#include <imgui_internal.h>

#include <algorithm>
#include <map>

#include "ui/dashboard.h"
#include "ui/gui_frame.h"

namespace {
struct Item {
  ImRect rect;
  std::string label;
};
std::map<ImGuiID, Item> g_items;      // this frame's widgets
std::map<ImGuiID, Item> g_last_items;  // the previous frame's
// The end of a top-level window finishes the library's text log and hands it to the
// clipboard; the driver's clipboard keeps it.
std::string g_logged;
void KeepLoggedText(void*, const char* text) { g_logged += text; }
}  // namespace

// The library's item hooks, compiled in for the native tests.
void ImGuiTestEngineHook_ItemAdd(ImGuiContext*, const ImRect& bb, ImGuiID id) {
  if (id != 0) g_items[id].rect = bb;
}
void ImGuiTestEngineHook_ItemInfo(ImGuiContext*, ImGuiID id, const char* label, ImGuiItemStatusFlags) {
  if (id != 0 && label) g_items[id].label = label;
}
void ImGuiTestEngineHook_Log(ImGuiContext*, const char*, ...) {}
const char* ImGuiTestEngine_FindItemDebugLabel(ImGuiContext*, ImGuiID id) {
  const auto found = g_items.find(id);
  return found == g_items.end() ? nullptr : found->second.label.c_str();
}

GuiDriver::GuiDriver() {
  InitGuiLibrary();
  GImGui->TestEngineHookItems = true;
  ImGui::GetIO().SetClipboardTextFn = KeepLoggedText;
}

GuiDriver::~GuiDriver() { ShutdownGuiLibrary(); }

void GuiDriver::OneFrame() {
  g_items.clear();
  g_logged.clear();
  DrawGuiFrame([] {
    ImGui::LogToClipboard();
    DrawDashboard();
    ImGui::LogFinish();
  });
  text_ = g_logged;
  g_last_items = g_items;
}

const std::string& GuiDriver::Frame() {
  OneFrame();
  return text_;
}

bool GuiDriver::RectOf(const std::string& label, ImVec2& min, ImVec2& max) const {
  for (const auto& [id, item] : g_last_items) {
    if (item.label == label) {
      min = item.rect.Min;
      max = item.rect.Max;
      return true;
    }
  }
  return false;
}

bool GuiDriver::HasWidget(const std::string& label) const {
  ImVec2 min, max;
  return RectOf(label, min, max);
}

bool GuiDriver::Click(const std::string& label) {
  ImVec2 min, max;
  if (!RectOf(label, min, max)) return false;
  ImGuiIO& io = ImGui::GetIO();
  io.MousePos = ImVec2((min.x + max.x) / 2, (min.y + max.y) / 2);
  OneFrame();  // hover
  io.MouseDown[0] = true;
  OneFrame();
  io.MouseDown[0] = false;
  OneFrame();
  io.MousePos = ImVec2(-1, -1);
  return true;
}

bool GuiDriver::Wheel(const std::string& window_part, float steps) {
  ImVec2 min, max;
  bool found = false;
  for (ImGuiWindow* window : GImGui->Windows) {
    if (std::string(window->Name).find(window_part) == std::string::npos) continue;
    min = window->Rect().Min;
    max = window->Rect().Max;
    found = true;
  }
  if (!found) return false;
  ImGuiIO& io = ImGui::GetIO();
  io.MousePos = ImVec2((min.x + max.x) / 2, (min.y + max.y) / 2);
  OneFrame();
  io.MouseWheel = steps;
  OneFrame();
  io.MouseWheel = 0;
  OneFrame();
  return true;
}

bool GuiDriver::ScrollOf(const std::string& name_part, float& y, float& max) const {
  for (ImGuiWindow* window : GImGui->Windows) {
    if (std::string(window->Name).find(name_part) == std::string::npos) continue;
    y = window->Scroll.y;
    max = window->ScrollMax.y;
    return true;
  }
  return false;
}

bool GuiDriver::WindowRect(const std::string& name_part, ImVec2& min, ImVec2& max) const {
  for (ImGuiWindow* window : GImGui->Windows) {
    if (std::string(window->Name).find(name_part) == std::string::npos) continue;
    min = window->Rect().Min;
    max = window->Rect().Max;
    return true;
  }
  return false;
}

int GuiDriver::MaxAlphaOf(const std::string& name, ImU32 opaque_colour) const {
  int highest = -1;
  for (ImGuiWindow* window : GImGui->Windows) {
    const std::string window_name = window->Name;
    if (window_name != name && window_name.find("/" + name + "_") == std::string::npos) continue;
    for (const ImDrawVert& vertex : window->DrawList->VtxBuffer) {
      if ((vertex.col & ~IM_COL32_A_MASK) != (opaque_colour & ~IM_COL32_A_MASK)) continue;
      highest = std::max(highest, static_cast<int>((vertex.col & IM_COL32_A_MASK) >> IM_COL32_A_SHIFT));
    }
  }
  return highest;
}
