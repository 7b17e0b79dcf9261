#include "scan/scans.h"

#include <string>

#include "app/activity_log.h"
#include "app/runtime_state.h"
#include "app/scan_state.h"
#include "app/telemetry.h"
#include "engine/scan_index.h"
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
  std::wstring profile;
  if (platform::UserProfileFolder(profile)) ScanFolderTree(profile + L"\\Downloads");
  FinishScan(L"Quick Scan Complete. System Clean.", !BackgroundStart.load());
  EndSequence();
}

void RunDeepScan() {
  WarningNoticeShown.store(false);
  SetScanStatus(L"Running heuristic Deep Scan...");
  ScanAllDrives();
  FinishScan(L"Deep Scan Complete. System Protected.", true);
  EndSequence();
}
