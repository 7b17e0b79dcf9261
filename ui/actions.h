#pragma once
// What the dashboard's and the tray menu's buttons start.

void QuickScanAction();         // "Quick Scan"
void FullScanAction();          // "Full Scan"
void QuarantineTargetAction();  // "Quarantine target"
void QuarantineFolderAction();  // "Quarantine folder...": pick, confirm, quarantine
void DisinfectionAction();      // "Run disinfection"
void CheckForUpdatesAction();   // "Check for updates"
void PinToTaskbarAction();      // "Pin to taskbar"
void EnableAdminAction();       // "Enable Admin"
void FirstRunAdminQuestion();   // after the terms are accepted
void RestartNowAction();        // "Restart now"
void OpenRecoveryAction();      // "Open Recovery"
void TrayQuickScanAction();     // the tray menu's "Quick Scan"
