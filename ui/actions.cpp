#include "ui/actions.h"

#include "app/activity_log.h"
#include "app/guarded_step.h"
#include "app/scan_state.h"
#include "platform/dialogs.h"
#include "inspect/repair_tools.h"
#include "inspect/restart_advice.h"
#include "response/disinfection.h"
#include "response/quarantine_store.h"
#include "response/threat_manager.h"
#include "scan/scans.h"
#include "ui/dashboard_state.h"
#include "ui/taskbar_pin.h"
#include "upkeep/admin_mode.h"
#include "upkeep/logon_start.h"

namespace {
// A visible scan: the overlay's reset, then the scan's own thread. When no thread can
// be had the overlay is taken down again rather than left waiting for a scan.
void StartVisibleScan(const wchar_t* step, void (*scan)()) {
  BeginVisibleScan();
  if (StartOneShot(step, [scan] { RunAsVisibleScan(scan); })) return;
  ScanActive.store(false);
  OverlayShown.store(false);
}
}  // namespace

void QuickScanAction() { StartVisibleScan(L"quick-scan", RunQuickScan); }
void FullScanAction() { StartVisibleScan(L"deep-scan", RunDeepScan); }
void TrayQuickScanAction() { StartVisibleScan(L"tray-scan", RunQuickScan); }

void QuarantineTargetAction() { StartOneShot(L"disinfect", QuarantineActiveTarget); }
void RestartNowAction() { RestartNow(); }
void OpenRecoveryAction() { StartOneShot(L"winre", OpenWindowsRecovery); }

void DisinfectionAction() { StartOneShot(L"disinfect-pass", RunDisinfectionPass); }

void PinToTaskbarAction() { PinToTaskbar(); }

void EnableAdminAction() { RequestElevation(); }
void FirstRunAdminQuestion() { CheckAdminMode(); }

void QuarantineFolderAction() {
  std::wstring folder;
  if (!platform::PickFolder(folder)) return;
  if (!platform::AskYesNo(L"Move this item to quarantine?", L"Confirm Quarantine")) return;
  std::wstring stored;
  QuarantineFile(folder, stored);
}

void CheckForUpdatesAction() {
  LaunchUpdater();
  AppendActivity(L"[UPDATE] Check for updates started.");
}
