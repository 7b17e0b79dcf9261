#include "response/containment.h"

#include <vector>

#include "app/activity_log.h"
#include "engine/path_classes.h"
#include "engine/verdict.h"
#include "platform/processes.h"
#include "platform/wlan.h"

std::atomic<bool> WifiHeld{false};
std::wstring SavedWifiProfile;
std::wstring SavedWifiInterface;

namespace {
constexpr uint32_t kNetshWaitMs = 8000;
}

void RunNetsh(const std::wstring& arguments) {
  const std::wstring netsh = platform::SystemFolder() + L"\\netsh.exe";
  platform::RunHiddenAndWait(L"\"" + netsh + L"\" " + arguments, kNetshWaitMs);
}

void HoldWifi() {
  if (WifiHeld.exchange(true)) return;
  std::wstring profile;
  std::wstring interface_guid;
  if (!platform::WlanDisconnectFirstConnected(profile, interface_guid)) {
    RunNetsh(L"wlan disconnect");
    AppendActivity(L"[NET] Wi-Fi disconnected for containment.");
    return;
  }
  SavedWifiProfile = profile;
  SavedWifiInterface = interface_guid;
  RunNetsh(L"wlan disconnect");
  AppendActivity(L"[NET] Wi-Fi held until you decide Delete or Keep.");
}

void ReleaseWifi() {
  if (!WifiHeld.exchange(false)) return;
  RunNetsh(SavedWifiProfile.empty() ? std::wstring(L"wlan connect")
                                    : L"wlan connect name=\"" + SavedWifiProfile + L"\"");
  platform::WlanOpenAndClose();
  AppendActivity(L"[NET] Wi-Fi restore requested.");
  SavedWifiProfile.clear();
}

std::wstring ProcessNameOf(uint32_t pid) {
  std::wstring image;
  if (!platform::ProcessImagePath(pid, image)) return L"<unknown>";
  return FileNameOf(image);
}

bool StopProcess(uint32_t pid, const std::wstring& reason) {
  if (pid == platform::CurrentProcessId()) return false;
  const std::wstring name = ToLowerAscii(ProcessNameOf(pid));
  if (CriticalProcessNames.count(name) != 0) return false;
  if (!platform::TerminateProcessById(pid, 1)) return false;
  AppendActivity(L"[CONTAIN] Stopped confirmed-malicious PID " + std::to_wstring(pid) + L" (" + name + L") - " +
                 reason);
  return true;
}

void StopProcessesOfImage(const std::wstring& path) {
  if (path.empty()) return;
  const std::wstring name = ToLowerAscii(FileNameOf(path));
  if (CriticalProcessNames.count(name) != 0) return;
  std::vector<platform::ProcessEntry> processes;
  if (!platform::ListProcesses(processes)) return;
  for (const auto& process : processes) {
    if (ToLowerAscii(process.exe_name) == name) StopProcess(process.pid, L"Image matches heuristic-contained file");
  }
}
