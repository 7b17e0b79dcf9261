#include "inspect/server_guard.h"

#include <vector>

#include "app/activity_log.h"
#include "app/data_dir.h"
#include "app/guarded_step.h"
#include "app/os_profile.h"
#include "app/runtime_state.h"
#include "app/wide.h"
#include "platform/event_log.h"
#include "platform/files.h"
#include "platform/services.h"
#include "response/snapshots.h"
#include "ui/window_events.h"

std::atomic<bool> ServerNoticeShown{false};

namespace {
constexpr uint64_t kServerPassPeriodMs = 45000;
constexpr uint32_t kFailedLogonEvent = 4625;
const std::vector<std::wstring> kCriticalServices = {L"MSSQLSERVER", L"W3SVC", L"TermService"};

bool IsServer() { return OsProfile.OsClass == kOsServer; }

std::wstring AlertFilePath() { return (DataDir.empty() ? std::wstring(L"C:\\KestruneAV") : DataDir) + L"\\server_alerts.log"; }

// Without a data folder the alerts go to C:\KestruneAV, which anybody may have made:
// it is guarded as the data folder is (never entered through a link, another
// account's folder moved aside) before anything is written there.
bool AlertFolderUsable() { return !DataDir.empty() || RemakeDataFolder(L"C:\\KestruneAV"); }
}  // namespace

void RaiseServerAlert(const std::wstring& message) {
  // A failed write still logs.
  if (AlertFolderUsable()) platform::AppendFileBytes(AlertFilePath(), ToUtf8(message) + "\r\n");
  AppendActivity(L"[SERVER] " + message);
  if (!ServerNoticeShown.exchange(true)) {
    ShowTrayBalloon(L"Kestrune Server", L"Server protection noticed a problem. See Activity.");
  }
}

void CheckCriticalServices() {
  std::vector<platform::ServiceRunState> states;
  if (!platform::QueryServiceRunStates(kCriticalServices, states)) return;
  for (std::size_t i = 0; i < states.size() && i < kCriticalServices.size(); ++i) {
    if (states[i] == platform::ServiceRunState::NotRunning) {
      RaiseServerAlert(L"Critical service not running: " + kCriticalServices[i]);
    }
  }
}

void CheckFailedLogon() {
  uint32_t event_id = 0;
  if (!platform::NewestEventId(L"Security", event_id)) return;
  if ((event_id & 0xFFFF) == kFailedLogonEvent) RaiseServerAlert(L"Failed logon recorded (possible RDP guessing).");
}

void WatchWebConfig(const std::wstring& path) {
  if (platform::PathExists(path)) SnapshotOrRestore(path);  // errors outside "not found" end the pass
}

void ServerProtectPass() {
  if (!IsServer()) return;
  CheckCriticalServices();
  CheckFailedLogon();
  WatchWebConfig(L"C:\\inetpub\\wwwroot\\web.config");
}

void ServerGuardLoop() {
  if (!IsServer()) return;
  AppendActivity(L"[SERVER] Server protection on.");
  while (AppRunning.load()) {
    RunGuarded(L"server-protect", ServerProtectPass);
    SleepForPeriod(kServerPassPeriodMs);
  }
}
