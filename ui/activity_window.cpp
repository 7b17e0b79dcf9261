#include "ui/activity_window.h"

#include <imgui.h>

#include "app/activity_log.h"
#include "app/wide.h"

void DrawActivityWindow() {
  const ImGuiViewport* viewport = ImGui::GetMainViewport();
  ImGui::SetNextWindowPos(viewport->WorkPos);
  ImGui::SetNextWindowSize(viewport->WorkSize);
  const ImGuiWindowFlags flags = ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove |
                                 ImGuiWindowFlags_NoSavedSettings;
  if (ImGui::Begin("Kestrune AV", nullptr, flags)) {
    ImGui::TextUnformatted("ACTIVITY");
    ImGui::Separator();
    ForEachActivityLine([](const std::wstring& line) {
      const std::string text = ToUtf8(line);
      ImGui::TextUnformatted(text.c_str(), text.c_str() + text.size());
    });
  }
  ImGui::End();
}
