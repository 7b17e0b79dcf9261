#include "upkeep/admin_mode.h"

#include "app/activity_log.h"
#include "app/data_dir.h"
#include "app/text_file.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/process_setup.h"
#include "platform/processes.h"

std::atomic<bool> AdminMode{false};

namespace {
constexpr wchar_t kQuestionCaption[] = L"Kestrune Admin Mode";
constexpr wchar_t kQuestionText[] =
    L"First run: enable Admin Mode?\n\nAdmin Mode can read HKLM startup keys, Windows services, scheduled tasks, and "
    L"other users' folders.\n\nIt does not lock the app, cut Wi-Fi, or kill random processes.\n\nYes = restart "
    L"elevated\nNo = stay in user mode";

// Replaces the file with exactly the word, no line end; a failed write is silent.
void SaveAdminChoice(const char* choice) {
  if (!AdminPreferencePath.empty()) platform::WriteFileBytes(AdminPreferencePath, choice);
}
}  // namespace

std::string SavedAdminChoice() {
  std::string text;
  bool cut = false;
  if (AdminPreferencePath.empty() || !ReadTextFilePrefix(AdminPreferencePath, kSmallSettingBytes, text, cut)) {
    return "";
  }
  return text.substr(0, text.find('\n'));
}

bool RequestElevation() {
  const std::wstring self = platform::ModuleFilePath();
  if (self.empty()) return false;
  platform::ShellExecuteRequest request;
  request.verb = L"runas";
  request.file = self;
  if (platform::ShellExecuteWithVerb(request)) {
    SaveAdminChoice("yes");
    platform::EndProcessNow(0);
    return true;  // reached only where ending the process is simulated
  }
  AppendActivity(L"[ADMIN] Elevation declined or failed. Staying in user mode.");
  SaveAdminChoice("no");
  return false;
}

void CheckAdminMode() {
  const bool administrator = platform::IsAdministratorsMember();
  AdminMode.store(administrator);
  if (administrator) {
    SaveAdminChoice("yes");
    AppendActivity(L"[ADMIN] Admin mode ON. HKLM, services, and all-user folders enabled.");
    return;
  }
  const std::string saved = SavedAdminChoice();
  if (saved == "no") {
    AppendActivity(L"[ADMIN] Admin mode OFF (saved choice). User-mode scan only.");
    return;
  }
  if (saved == "yes") {
    RequestElevation();
    return;
  }
  if (TermsPending.load()) return;  // the question follows the acceptance of the terms
  if (platform::AskYesNoWithoutOwner(kQuestionText, kQuestionCaption)) {
    RequestElevation();
    return;
  }
  SaveAdminChoice("no");
  AppendActivity(L"[ADMIN] Admin mode OFF. You can enable it later from the dashboard.");
}
