#include "ui/actions.h"

#include "app/activity_log.h"
#include "platform/dialogs.h"
#include "response/quarantine_store.h"

// Actions whose work is not part of this build yet do nothing when pressed, so the
// dashboard never claims work it did not do.
void QuickScanAction() {}
void FullScanAction() {}
void QuarantineTargetAction() {}
void DisinfectionAction() {}
void PinToTaskbarAction() {}
void EnableAdminAction() {}
void FirstRunAdminQuestion() {}
void RestartNowAction() {}
void TrayQuickScanAction() {}

void QuarantineFolderAction() {
  std::wstring folder;
  if (!platform::PickFolder(folder)) return;
  if (!platform::AskYesNo(L"Move this item to quarantine?", L"Confirm Quarantine")) return;
  QuarantineFile(folder);
}

void CheckForUpdatesAction() { AppendActivity(L"[UPDATE] Check for updates started."); }
