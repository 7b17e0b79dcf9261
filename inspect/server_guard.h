#pragma once
// Server protection, on Windows Server only: the database, web and remote-desktop
// services, failed logons, and the default web site's configuration file. Each
// problem goes to server_alerts.log and the activity log; the first of a run also
// raises a tray balloon.
#include <atomic>
#include <string>

// Set by the first alert of the run; never cleared.
extern std::atomic<bool> ServerNoticeShown;

// The body of "server-guard": nothing off a server; otherwise its line, then a
// "server-protect" pass every 45 seconds while the program runs.
void ServerGuardLoop();

// The body of "server-protect": the three checks in order, on a server only.
void ServerProtectPass();

// An alert for each of MSSQLSERVER, W3SVC and TermService that is installed but not running.
void CheckCriticalServices();

// An alert when the newest Security event is a failed logon (4625).
void CheckFailedLogon();

// The file, when it exists, is rolled back from its snapshot if it turned into
// noise, else snapshotted afresh.
void WatchWebConfig(const std::wstring& path);

// Appends the message to server_alerts.log, logs it, and shows the balloon once per run.
void RaiseServerAlert(const std::wstring& message);
