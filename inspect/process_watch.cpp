#include "inspect/process_watch.h"

#include <vector>

#include "app/activity_log.h"
#include "app/scan_state.h"
#include "engine/path_classes.h"
#include "engine/verdict.h"
#include "inspect/existence.h"
#include "platform/processes.h"

namespace {
void ReportStealthProcess(const std::wstring& path, uint32_t pid) {
  AppendActivity(L"[HEURISTIC] Process image missing on disk (user-mode stealth): " + path + L" PID=" +
                 std::to_wstring(pid));
  ThreatState.store(1);
  UpdateStatus(L"Possible user-mode stealth process", path);
}
}  // namespace

void ScanStealthProcesses() {
  std::vector<platform::ProcessEntry> processes;
  if (!platform::ListProcesses(processes)) return;
  for (const auto& process : processes) {
    if (process.pid == 0 || process.pid == 4) continue;  // the idle and system processes
    // The critical processes are never opened at all, whatever their path.
    if (CriticalProcessNames.count(ToLowerAscii(process.exe_name)) != 0) continue;
    std::wstring path;
    if (!platform::ProcessImagePath(process.pid, path)) continue;
    // Only images in user folders are ever reported, so only they are looked for.
    if (!IsUserWritableLocation(path)) continue;
    const Existence image = TestExistence(path);
    if (!image.known) {
      AppendActivity(L"[HEURISTIC] Process image could not be checked: " + path + L" PID=" +
                     std::to_wstring(process.pid) + L" (" + image.failure + L")");
    } else if (!image.exists) {
      ReportStealthProcess(path, process.pid);
    }
  }
}
