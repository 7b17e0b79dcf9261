#include "inspect/repair_tools.h"

#include <string>

#include "app/activity_log.h"
#include "app/guarded_step.h"
#include "app/wide.h"
#include "inspect/boot_inspect.h"
#include "inspect/cross_view.h"
#include "inspect/restart_advice.h"
#include "inspect/service_scan.h"
#include "inspect/volume_check.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/processes.h"
#include "scan/folder_walk.h"
#include "upkeep/admin_mode.h"

namespace {
constexpr std::size_t kShownOutputChars = 400;
// Bytes looked at before the form of the output is decided.
constexpr std::size_t kSniffBytes = 16;

// Output is shown in pieces: whenever more than 400 characters have gathered, their
// last 400 become one line and the rest is dropped.
struct OutputShown {
  ToolOutputDecoder decoder;
  std::wstring gathered;
  void Add(std::string_view bytes) {
    gathered += decoder.Add(bytes);
    if (gathered.size() <= kShownOutputChars) return;
    AppendActivity(L"[REPAIR] " + gathered.substr(gathered.size() - kShownOutputChars));
    gathered.clear();
  }
};

std::wstring TimeLimitText() { return std::to_wstring(kOfficialToolTimeLimitMs / 60000) + L" minutes"; }
}  // namespace

std::wstring ToolOutputDecoder::Add(std::string_view bytes) {
  waiting_.append(bytes);
  if (form_ == Form::Unknown) {
    if (waiting_.size() >= 2 && waiting_[0] == '\xFF' && waiting_[1] == '\xFE') {
      form_ = Form::Utf16;
      waiting_.erase(0, 2);
    } else if (waiting_.size() >= kSniffBytes) {
      // Text in UTF-16LE has a zero high byte in every ASCII and Latin-1 character;
      // 8-bit text has no zero bytes at all.
      std::size_t odd_zeros = 0;
      std::size_t even_zeros = 0;
      for (std::size_t i = 0; i < kSniffBytes; ++i) (i % 2 != 0 ? odd_zeros : even_zeros) += waiting_[i] == '\0';
      form_ = odd_zeros >= kSniffBytes / 4 && odd_zeros > 2 * even_zeros ? Form::Utf16 : Form::Bytes;
    } else {
      return {};
    }
  }
  return Decode();
}

std::wstring ToolOutputDecoder::Finish() {
  if (form_ == Form::Unknown) form_ = Form::Bytes;
  std::wstring text = Decode();
  if (!waiting_.empty()) text += WidenSignedBytes(waiting_);  // half a unit at the very end
  waiting_.clear();
  return text;
}

std::wstring ToolOutputDecoder::Decode() {
  if (form_ == Form::Bytes) {
    std::wstring text = WidenSignedBytes(waiting_);
    waiting_.clear();
    return text;
  }
  const std::size_t whole = waiting_.size() / 2 * 2;
  std::wstring text = FromUtf16Le(std::string_view(waiting_).substr(0, whole));
  waiting_.erase(0, whole);
  return text;
}

bool RunOfficialTool(const std::wstring& tool, const std::wstring& arguments, const std::wstring& display_name) {
  if (!AdminMode.load()) {
    AppendActivity(L"[REPAIR] Admin Mode required for official Windows repair tools.");
    return false;
  }
  const std::wstring system_folder = platform::SystemFolder();
  if (system_folder.empty()) return false;
  const std::wstring tool_path = system_folder + L"\\" + tool;
  if (!platform::PathExists(tool_path)) {  // errors outside "not found" throw to the step
    AppendActivity(L"[REPAIR] Official tool not found: " + tool_path);
    return false;
  }
  const std::wstring command_line = L"\"" + tool_path + L"\" " + arguments;
  OutputShown shown;
  const platform::ToolRun run = platform::RunToolCapturingOutput(
      tool_path, command_line, system_folder, kOfficialToolTimeLimitMs,
      [&] { AppendActivity(L"[REPAIR] Starting official tool: " + display_name); },
      [&](std::string_view bytes) { shown.Add(bytes); });
  if (!run.pipe_made) return false;
  if (!run.started) {
    AppendActivity(L"[REPAIR] Could not start " + tool);
    return false;
  }
  if (run.timed_out) {
    AppendActivity(L"[REPAIR] " + display_name + L" did not finish within " + TimeLimitText() +
                   L" and was ended, exit=" + std::to_wstring(run.exit_code));
    return false;
  }
  AppendActivity(L"[REPAIR] " + display_name + L" finished, exit=" + std::to_wstring(run.exit_code));
  return run.exit_code == 0;
}

namespace {
void RunRepairSequence() {
  AppendActivity(L"[REPAIR] Boot files look incomplete. Official Windows tools will be used \u2014 Kestrune will not "
                 L"write the boot sector.");
  RunGuarded(L"sfc", [] {
    RunGuarded(L"driver-inspect", InspectInboxDrivers);
    RunOfficialTool(L"sfc.exe", L"/scannow", L"System File Checker");
  });
  RunGuarded(L"dism", [] {
    RunOfficialTool(L"dism.exe", L"/Online /Cleanup-Image /RestoreHealth", L"DISM RestoreHealth");
  });
  if (AdminMode.load()) RunOfficialTool(L"bcdboot.exe", L"C:\\Windows", L"bcdboot (official BCD rebuild)");
}
}  // namespace

void RunAdminExtendedScan() {
  if (!AdminMode.load()) {
    AppendActivity(L"[ADMIN] Extended scan skipped (user mode).");
    return;
  }
  RunGuarded(L"volume-c", CheckSystemVolume);
  RunGuarded(L"cross-view", CrossViewScan);
  RunGuarded(L"admin-users", ScanAllUserFolders);
  if (AdminMode.load()) RunGuarded(L"task-scan", ScanTaskCommands);
  RunGuarded(L"boot-inspect", InspectBootFolders);
  if (!CoreBootFilesPresent()) RunRepairSequence();
  AppendActivity(L"[ADMIN] Extended scan finished.");
}

void OpenWindowsRecovery() {
  if (!AdminMode.load()) {
    AppendActivity(L"[REPAIR] Admin Mode required to open Windows Recovery.");
    return;
  }
  const bool yes = platform::AskYesNoQuestion(
      L"Open official Windows Recovery (Advanced Startup) on reboot?\n\nUse Startup Repair and Safe Mode there. "
      L"Kestrune will not write the boot sector.\n\nThe PC will restart in 60 seconds if you choose Yes.",
      L"Windows Recovery");
  if (yes) {
    RunOfficialTool(L"shutdown.exe", L"/r /o /t 60 /c \"Kestrune opening Windows Recovery\"", L"Advanced Startup");
  } else {
    AppendActivity(L"[REPAIR] Recovery reboot cancelled.");
  }
}
