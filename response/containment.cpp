#include "response/containment.h"

#include <mutex>
#include <stdexcept>
#include <vector>

#include "app/activity_log.h"
#include "engine/hash_lists.h"
#include "engine/path_classes.h"
#include "engine/verdict.h"
#include "platform/files.h"
#include "platform/processes.h"
#include "platform/wlan.h"

std::atomic<bool> WifiHeld{false};

namespace {
constexpr uint32_t kNetshWaitMs = 8000;

// One lock over the flag, the remembered profile and the netsh calls: a release that
// came in while a hold was still disconnecting reconnects after that disconnect, never
// before it, so the flag never reads "released" while the connection stays down.
std::mutex g_wifi_lock;
std::wstring g_saved_profile;    // guarded by g_wifi_lock
std::wstring g_saved_interface;  // guarded by g_wifi_lock
}  // namespace

void RunNetsh(const std::wstring& arguments) {
  const std::wstring netsh = platform::SystemFolder() + L"\\netsh.exe";
  platform::RunHiddenAndWait(L"\"" + netsh + L"\" " + arguments, kNetshWaitMs);
}

void HoldWifi() {
  std::lock_guard<std::mutex> hold(g_wifi_lock);
  if (WifiHeld.load()) return;
  // Set first: a fault part-way leaves a hold that the next release undoes.
  WifiHeld.store(true);
  std::wstring profile;
  std::wstring interface_guid;
  const bool read = platform::WlanDisconnectFirstConnected(profile, interface_guid);
  g_saved_profile = read ? profile : std::wstring();
  g_saved_interface = read ? interface_guid : std::wstring();
  RunNetsh(L"wlan disconnect");
  AppendActivity(read ? L"[NET] Wi-Fi held until you decide Delete or Keep."
                      : L"[NET] Wi-Fi disconnected for containment.");
}

void ReleaseWifi() {
  std::lock_guard<std::mutex> hold(g_wifi_lock);
  if (!WifiHeld.load()) return;
  RunNetsh(g_saved_profile.empty() ? std::wstring(L"wlan connect")
                                   : L"wlan connect name=\"" + g_saved_profile + L"\"");
  // Cleared once the reconnect was asked for: a fault before it leaves the hold for
  // the next release to undo.
  WifiHeld.store(false);
  platform::WlanOpenAndClose();
  AppendActivity(L"[NET] Wi-Fi restore requested.");
  g_saved_profile.clear();
  g_saved_interface.clear();
}

std::wstring HeldWifiProfile() {
  std::lock_guard<std::mutex> hold(g_wifi_lock);
  return g_saved_profile;
}

std::wstring ProcessNameOf(uint32_t pid) {
  std::wstring image;
  if (!platform::ProcessImagePath(pid, image)) return L"<unknown>";
  return FileNameOf(image);
}

bool StopProcessWithImage(uint32_t pid, const std::wstring& image, const std::wstring& reason) {
  if (pid == platform::CurrentProcessId()) return false;
  const std::wstring name = ToLowerAscii(FileNameOf(image));
  if (CriticalProcessNames.count(name) != 0) return false;
  // Ended through a handle that still shows the image judged: an id given to another
  // program meanwhile is not ended.
  if (!platform::TerminateProcessWithImage(pid, image, 1)) return false;
  AppendActivity(L"[CONTAIN] Stopped confirmed-malicious PID " + std::to_wstring(pid) + L" (" + name + L") - " +
                 reason);
  return true;
}

bool StopProcess(uint32_t pid, const std::wstring& reason) {
  std::wstring image;
  if (!platform::ProcessImagePath(pid, image)) return false;  // what it runs cannot be told: left alone
  return StopProcessWithImage(pid, image, reason);
}

namespace {
// A running image is the flagged file's when it is that file, a byte-identical copy,
// or a file that is gone (dropped and removed); a same-named program elsewhere with
// other bytes (another vendor's Update.exe) is not.
bool IsTheFlaggedImage(const std::wstring& image, const std::wstring& path, const std::wstring& flagged_hash) {
  return ToLowerAscii(image) == ToLowerAscii(path) || IsCopyOrGone(image, flagged_hash);
}
}  // namespace

void StopProcessesOfImage(const std::wstring& path, const std::wstring& flagged_hash) {
  if (path.empty()) return;
  const std::wstring name = ToLowerAscii(FileNameOf(path));
  if (CriticalProcessNames.count(name) != 0) return;
  std::vector<platform::ProcessEntry> processes;
  if (!platform::ListProcesses(processes)) return;
  std::wstring hash = flagged_hash;
  for (const auto& process : processes) {
    if (ToLowerAscii(process.exe_name) != name) continue;
    std::wstring image;
    if (!platform::ProcessImagePath(process.pid, image)) continue;
    if (hash.empty()) hash = ComputeFileSha256(path);  // taken once, while the file is still there
    if (IsTheFlaggedImage(image, path, hash)) {
      StopProcessWithImage(process.pid, image, L"Image matches heuristic-contained file");
    }
  }
}
