#include "response/disinfection.h"

#include <mutex>
#include <string>

#include "app/activity_log.h"
#include "app/guarded_step.h"
#include "app/scan_state.h"
#include "engine/hash_lists.h"
#include "engine/path_classes.h"
#include "engine/scorer.h"
#include "engine/verdict.h"
#include "inspect/process_watch.h"
#include "inspect/restart_advice.h"
#include "inspect/run_key_scan.h"
#include "inspect/run_keys.h"
#include "inspect/service_scan.h"
#include "inspect/services.h"
#include "platform/files.h"
#include "platform/shell_folders.h"
#include "response/containment.h"
#include "response/quarantine_store.h"
#include "scan/folder_walk.h"
#include "upkeep/admin_mode.h"
#include "upkeep/integrity.h"

namespace {
const wchar_t* const kUserFolders[] = {L"Downloads", L"Desktop",
                                       L"AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup"};

std::wstring ActiveTargetCopy() {
  std::lock_guard<std::mutex> hold(UiStateLock);
  return ActiveTarget;
}

// The file the dashboard points at, judged again and removed when it still looks bad.
void ProcessActiveTarget(const std::wstring& target) {
  HeuristicResult result;
  ScoreFile(target, result);
  if (!result.flagged && !result.suspicious) return;
  StopProcessesOfImage(target);  // never a critical process
  // Taken before the move: the Run values of a dropped copy are matched by it.
  const std::wstring hash = ComputeFileSha256(target);
  std::wstring stored;
  QuarantineFile(target, stored);
  RunGuarded(L"registry-clean", [&] { RemoveRunValuesFor(target, hash); });
  if (AdminMode.load()) RunGuarded(L"service-stop", [&target] { StopServicesFor(target); });
  AppendActivity(L"[DISINFECT] Active target processed: " + target);
}

}  // namespace

void RunDisinfectionPass() {
  AppendActivity(L"[DISINFECT] Starting disinfection pass (heuristic + persistence).");
  const int before = ContainCount.load();
  const std::wstring target = ActiveTargetCopy();
  // A status error outside "not found" ends the pass through its guard.
  if (!target.empty() && platform::PathExists(target)) ProcessActiveTarget(target);

  RunGuarded(L"registry-scan", ScanRunKeys);
  RunGuarded(L"service-scan", ScanServiceImages);
  ScanStealthProcesses();

  std::wstring profile;
  if (platform::UserProfileFolder(profile)) {
    // A stop meant for a visible scan does not reach this pass; only the program's end does.
    for (const wchar_t* folder : kUserFolders) {
      if (!ScanFolderFiles(profile + L"\\" + folder)) {
        AppendActivity(L"[DISINFECT] Pass stopped before the end: the program is closing.");
        return;
      }
    }
  }
  RunIntegrityCheck();

  const int contained = ContainCount.load() - before;
  const int fresh = contained < 0 ? 0 : contained;
  AppendActivity(L"[DISINFECT] Pass finished. New contains this run: " + std::to_wstring(fresh));
  if (fresh == 0 && target.empty()) {
    ThreatState.store(0);
    UpdateStatus(L"Disinfection pass complete.", L"");
  } else {
    AdviseRestart();
  }
}
