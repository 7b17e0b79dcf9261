#include "scan/scans.h"

#include <string>

#include "app/activity_log.h"
#include "app/guarded_step.h"
#include "app/runtime_state.h"
#include "app/scan_state.h"
#include "app/telemetry.h"
#include "engine/scan_index.h"
#include "inspect/cross_view.h"
#include "inspect/process_watch.h"
#include "inspect/repair_tools.h"
#include "inspect/run_key_scan.h"
#include "inspect/service_scan.h"
#include "platform/environment.h"
#include "platform/shell_folders.h"
#include "response/threat_manager.h"
#include "scan/drives.h"
#include "scan/folder_walk.h"

namespace {
void SetScanStatus(const std::wstring& text) {
  ThreatState.store(0);
  UpdateStatus(text, L"");
}

// The completion: the progress full, the scan off, the result kept on screen when wanted.
void FinishScan(const std::wstring& completion, bool keep_result_on_screen) {
  SetScanStatus(completion);
  ScanProgress.store(1.0f);
  ScanActive.store(false);
  if (keep_result_on_screen) OverlayShown.store(true);
}

// The inspections both scans run after their walk: autostart entries, services,
// and in admin mode the extended steps.
void InspectPersistence() {
  RunGuarded(L"registry-scan", ScanRunKeys);
  RunGuarded(L"service-scan", ScanServiceImages);
  RunAdminExtendedScan();
}

// What the scan queued is isolated and saved, then the pending batch is put to the user.
void EndSequence() {
  WaitForIsolationIdle();
  SaveScanIndex();
  WriteRunCounters(true);
  DecideBatch();
}
}  // namespace

void RunQuickScan() {
  WarningNoticeShown.store(false);
  SetScanStatus(L"Running heuristic Quick Scan...");
  ScanStealthProcesses();
  std::wstring profile;
  if (platform::UserProfileFolder(profile)) {
    ScanFolderTree(profile + L"\\Downloads", StopForThisScan());
    CheckUserModeHiding(profile + L"\\Downloads");
    std::wstring temp;
    if (platform::TempFolder(temp)) CheckUserModeHiding(temp);
  }
  InspectPersistence();
  FinishScan(L"Quick Scan Complete. System Clean.", !BackgroundStart.load());
  EndSequence();
}

void RunDeepScan() {
  WarningNoticeShown.store(false);
  SetScanStatus(L"Running heuristic Deep Scan...");
  ScanStealthProcesses();
  ScanAllDrives(StopForThisScan());
  InspectPersistence();
  FinishScan(L"Deep Scan Complete. System Protected.", true);
  EndSequence();
}
