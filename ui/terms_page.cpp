#include "ui/terms_page.h"

#include <imgui.h>

#include <string>

#include "app/data_dir.h"
#include "platform/files.h"
#include "ui/actions.h"
#include "ui/dashboard_state.h"

void DrawTermsPage() {
  const ImVec2 size = ImGui::GetWindowSize();
  ImGui::SetCursorPos(ImVec2(0.12f * size.x, 0.12f * size.y));
  ImGui::BeginChild("terms", ImVec2(0.76f * size.x, 0.76f * size.y), true);
  ImGui::TextUnformatted("Kestrune AV \xE2\x80\x94 Terms");
  ImGui::Dummy(ImVec2(0, 12));
  ImGui::TextWrapped("%s", "");
  ImGui::Dummy(ImVec2(0, 8));
  ImGui::TextWrapped("If the app has any issues, send an email to %s.", kContactAddress);
  ImGui::Dummy(ImVec2(0, 18));
  ImGui::Checkbox("I will not sell this app or edit its code.", &TermsNoResaleTicked);
  const std::string contact = std::string("I can contact ") + kContactAddress + " if something is wrong.";
  ImGui::Checkbox(contact.c_str(), &TermsContactTicked);
  ImGui::Dummy(ImVec2(0, 16));
  const bool ready = TermsNoResaleTicked && TermsContactTicked;
  ImGui::BeginDisabled(!ready);
  if (ImGui::Button("Accept and continue", ImVec2(-1, 44)) && ready) {
    platform::WriteFileBytes(TermsPath, "yes");  // a failed write only means the page shows again next start
    TermsPending.store(false);
    FirstRunAdminQuestion();
  }
  ImGui::EndDisabled();
  ImGui::EndChild();
}
