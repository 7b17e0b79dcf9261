// Containment, service stop, restart advice and the Run values of a removed file.
#include <thread>

#include "engine/hash_lists.h"
#include "inspect/restart_advice.h"
#include "inspect/run_keys.h"
#include "inspect/services.h"
#include "response/containment.h"
#include "scan_fixture.h"

namespace {

constexpr wchar_t kNetsh[] = L"\"C:\\Windows\\System32\\netsh.exe\" ";

class ContainmentTest : public ScanTest {
 protected:
  void SetUp() override {
    ScanTest::SetUp();
    WifiHeld.store(false);
  }
  // The netsh arguments run so far, in order.
  static std::vector<std::wstring> NetshRuns() {
    std::vector<std::wstring> runs;
    for (const auto& line : standin::ChildCommandLines()) {
      if (line.rfind(kNetsh, 0) == 0) runs.push_back(line.substr(std::wstring(kNetsh).size()));
    }
    return runs;
  }
};

TEST_F(ContainmentTest, WifiIsHeldOnceAndReleasedOnce) {
  standin::SetWlan(true, L"Home Net");
  HoldWifi();
  HoldWifi();  // a second threat while held does nothing more
  EXPECT_EQ(standin::WlanDisconnects(), 1);
  EXPECT_EQ(HeldWifiProfile(), L"Home Net");
  ReleaseWifi();
  ReleaseWifi();
  EXPECT_EQ(standin::ChildCommandLines(), (std::vector<std::wstring>{
                                              std::wstring(kNetsh) + L"wlan disconnect",
                                              std::wstring(kNetsh) + L"wlan connect name=\"Home Net\"",
                                          }));
  EXPECT_EQ(ActivityLines(), (std::vector<std::wstring>{L"[NET] Wi-Fi held until you decide Delete or Keep.",
                                                        L"[NET] Wi-Fi restore requested."}));
  EXPECT_EQ(HeldWifiProfile(), L"");
  EXPECT_EQ(standin::WlanConnectedProfile(), L"Home Net");
}

TEST_F(ContainmentTest, HoldsAndReleasesFromTwoThreadsEndReconnectedToTheSameProfile) {
  // Two scanning threads contain threats at once: a release that arrives while the
  // other thread's hold is still disconnecting must come after that disconnect.
  standin::SetWlan(true, L"Home Net");
  constexpr int kRounds = 200;
  auto contain = [] {
    for (int round = 0; round < kRounds; ++round) {
      HoldWifi();
      ReleaseWifi();
    }
  };
  std::thread first(contain);
  std::thread second(contain);
  first.join();
  second.join();
  EXPECT_FALSE(WifiHeld.load());
  EXPECT_EQ(standin::WlanConnectedProfile(), L"Home Net");
  EXPECT_EQ(HeldWifiProfile(), L"");
  // Every hold that acted was undone by exactly one reconnect to the remembered profile.
  const auto runs = NetshRuns();
  ASSERT_FALSE(runs.empty());
  ASSERT_EQ(runs.size() % 2, 0u);
  for (std::size_t i = 0; i < runs.size(); i += 2) {
    SCOPED_TRACE(i);
    EXPECT_EQ(runs[i], L"wlan disconnect");
    EXPECT_EQ(runs[i + 1], L"wlan connect name=\"Home Net\"");
  }
}

TEST_F(ContainmentTest, WithoutAWlanServiceNetshAloneHoldsTheConnection) {
  standin::SetWlan(false, L"");
  HoldWifi();
  ReleaseWifi();
  EXPECT_EQ(standin::ChildCommandLines(), (std::vector<std::wstring>{std::wstring(kNetsh) + L"wlan disconnect",
                                                                     std::wstring(kNetsh) + L"wlan connect"}));
  EXPECT_EQ(ActivityLines().front(), L"[NET] Wi-Fi disconnected for containment.");
}

TEST_F(ContainmentTest, ProcessesThatAreNeverStopped) {
  standin::SetOwnProcessId(100);
  standin::AddProcess(100, L"KestruneAV.exe", L"C:\\Program Files\\Kestrune\\KestruneAV.exe");
  standin::AddProcess(200, L"explorer.exe", L"C:\\Windows\\explorer.exe");
  standin::AddProcess(300, L"evil.exe", L"C:\\Users\\bob\\Downloads\\evil.exe");
  standin::SetProcessUnkillable(300);
  for (const uint32_t pid : {100u, 200u, 300u, 999u}) EXPECT_FALSE(StopProcess(pid, L"test"));
  EXPECT_TRUE(standin::TerminatedProcesses().empty());
  EXPECT_TRUE(ActivityLines().empty());
  EXPECT_EQ(ProcessNameOf(999), L"<unknown>");
}

TEST_F(ContainmentTest, OnlyProcessesRunningTheFlaggedFileOrACopyOrAGoneFileAreStopped) {
  const std::wstring flagged = PutFile(L"C:\\Users\\bob\\Downloads\\Update.exe", "MZ the threat");
  PutFile(L"C:\\Temp\\UPDATE.EXE", "MZ the threat");                            // a copy
  PutFile(L"C:\\Users\\bob\\AppData\\Local\\Chat\\Update.exe", "MZ a real updater");  // another program
  const struct {
    uint32_t pid;
    const wchar_t* name;
    const wchar_t* image;
    bool stopped;
  } cases[] = {
      {301, L"Update.exe", L"C:\\Users\\bob\\Downloads\\Update.exe", true},         // the file itself
      {302, L"UPDATE.EXE", L"C:\\Temp\\UPDATE.EXE", true},                             // same bytes
      {303, L"Update.exe", L"C:\\Users\\bob\\AppData\\Temp\\Update.exe", true},       // gone since
      {304, L"Update.exe", L"C:\\Users\\bob\\AppData\\Local\\Chat\\Update.exe", false},  // other bytes
      {305, L"good.exe", L"C:\\Tools\\good.exe", false},
  };
  for (const auto& c : cases) standin::AddProcess(c.pid, c.name, c.image);
  StopProcessesOfImage(flagged);
  std::vector<uint32_t> expected;
  for (const auto& c : cases) {
    if (c.stopped) expected.push_back(c.pid);
  }
  EXPECT_EQ(standin::TerminatedProcesses(), expected);
  EXPECT_EQ(ActivityLines().front(),
            L"[CONTAIN] Stopped confirmed-malicious PID 301 (update.exe) - Image matches heuristic-contained file");
  // A critical name is never stopped, whatever runs it.
  standin::AddProcess(306, L"explorer.exe", L"C:\\Users\\bob\\Desktop\\explorer.exe");
  StopProcessesOfImage(L"C:\\Users\\bob\\Desktop\\explorer.exe");
  EXPECT_EQ(standin::TerminatedProcesses().size(), expected.size());
}

TEST_F(ContainmentTest, AProcessIdGivenToAnotherProgramIsNotEnded) {
  const std::wstring flagged = PutFile(L"C:\\Users\\bob\\Downloads\\evil.exe", "MZ evil");
  standin::AddProcess(400, L"evil.exe", flagged);
  // Judged as the flagged file, then the id goes to the user's editor before the stop.
  standin::ReuseProcessIdAfterQuery(400, L"C:\\Windows\\notepad.exe");
  StopProcessesOfImage(flagged);
  EXPECT_TRUE(standin::TerminatedProcesses().empty());
  EXPECT_TRUE(ActivityLines().empty());
}

TEST_F(ContainmentTest, ServicesRunningTheFileAreStopped) {
  standin::AddService(L"EvilSvc", L"\"C:\\Users\\Bob\\AppData\\x.exe\" -service", true);
  standin::AddService(L"Bare", L"x.exe", true);
  standin::AddService(L"Data", L"C:\\Users\\bob\\AppData\\data.exe", true);
  standin::AddService(L"Other", L"a.exe", true);  // a name that is only the end of "data.exe"
  standin::AddService(L"Stopped", L"C:\\Users\\bob\\AppData\\x.exe", false);
  StopServicesFor(L"");
  EXPECT_TRUE(standin::StoppedServices().empty());
  StopServicesFor(L"c:\\users\\bob\\appdata\\x.exe");
  StopServicesFor(L"c:\\users\\bob\\appdata\\x.exe");  // already stopped: no further line
  EXPECT_EQ(standin::StoppedServices(), (std::vector<std::wstring>{L"EvilSvc", L"Bare"}));
  EXPECT_EQ(ActivityLines(),
            (std::vector<std::wstring>{L"[ADMIN] Stopped service EvilSvc", L"[ADMIN] Stopped service Bare"}));
  StopServicesFor(L"C:\\Users\\bob\\AppData\\data.exe");
  EXPECT_EQ(standin::StoppedServices().back(), L"Data");
  EXPECT_EQ(standin::StoppedServices().size(), 3u);
}

TEST_F(ContainmentTest, AServiceWhosePathOnlyBeginsWithTheTargetIsLeftAlone) {
  AdminMode.store(true);
  standin::SetEnvironment(L"SystemRoot", L"C:\\Windows");
  standin::AddService(L"Vendor", L"C:\\ProgramData\\Vendor\\svc.exe", true);
  standin::AddService(L"Expanded", L"%SystemRoot%\\Temp\\drop.exe -k", true);
  StopServicesFor(L"C:\\ProgramData\\Vend");
  StopServicesFor(L"%SystemRoot%");
  EXPECT_TRUE(standin::StoppedServices().empty());
  StopServicesFor(L"C:\\Windows\\Temp\\drop.exe");
  EXPECT_EQ(standin::StoppedServices(), std::vector<std::wstring>{L"Expanded"});
}

TEST_F(ContainmentTest, RunValuesOfOtherApplicationsStay) {
  constexpr wchar_t kRun[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  using platform::RegistryHive;
  const std::wstring target = PutFile(L"C:\\Users\\bob\\Downloads\\Update.exe", "MZ the threat");
  // Another application's own updater of the same name: a different file that exists.
  PutFile(L"C:\\Users\\bob\\AppData\\Local\\Chat\\Update.exe", "MZ a real updater");
  standin::SetRegistryString(RegistryHive::CurrentUser, kRun, L"Chat",
                             L"C:\\Users\\bob\\AppData\\Local\\Chat\\Update.exe --processStart chat.exe");
  // A copy of the threat dropped under the same name, and one already gone.
  PutFile(L"C:\\Users\\bob\\AppData\\Roaming\\Update.exe", "MZ the threat");
  standin::SetRegistryString(RegistryHive::CurrentUser, kRun, L"Copy", L"C:\\Users\\bob\\AppData\\Roaming\\Update.exe");
  standin::SetRegistryString(RegistryHive::CurrentUser, kRun, L"Gone", L"C:\\Users\\bob\\AppData\\Temp\\Update.exe");
  standin::SetRegistryString(RegistryHive::CurrentUser, kRun, L"Bare", L"Update.exe /silent");
  standin::SetRegistryString(RegistryHive::CurrentUser, kRun, L"Tail", L"date.exe");  // "Update.exe" ends in it
  RemoveRunValuesFor(target);
  EXPECT_EQ(standin::RegistryValueNames(RegistryHive::CurrentUser, kRun), (std::vector<std::wstring>{L"Chat", L"Tail"}));
}

TEST_F(ContainmentTest, ProgramNamesTargetByWholeComponents) {
  const struct {
    const wchar_t* program;
    const wchar_t* target;
    bool names;
  } cases[] = {
      {L"c:\\users\\bob\\downloads\\evil.exe", L"c:\\users\\bob\\downloads\\evil.exe", true},
      {L"evil.exe", L"c:\\users\\bob\\downloads\\evil.exe", true},
      {L"downloads\\evil.exe", L"c:\\users\\bob\\downloads\\evil.exe", true},
      {L"a.exe", L"c:\\users\\bob\\data.exe", false},
      {L"c:\\users\\bob\\downloads\\evil.exe.bak", L"c:\\users\\bob\\downloads\\evil.exe", false},
      {L"\\\\?\\c:\\users\\bob\\downloads\\evil.exe", L"c:\\users\\bob\\downloads\\evil.exe", true},
      {L"c:\\programdata\\vendor\\svc.exe", L"c:\\programdata\\vend", false},  // a folder a user made
      {L"", L"c:\\x.exe", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Ascii(c.program));
    EXPECT_EQ(ProgramNamesTarget(c.program, c.target), c.names);
  }
}

TEST_F(ContainmentTest, RestartAdviceByTheBootFiles) {
  const struct {
    std::vector<const wchar_t*> files;
    bool intact;
  } cases[] = {
      {{L"ntoskrnl.exe", L"drivers\\ntfs.sys", L"drivers\\disk.sys", L"winload.efi"}, true},
      {{L"ntoskrnl.exe", L"drivers\\ntfs.sys", L"drivers\\disk.sys", L"winload.exe"}, true},
      {{L"ntoskrnl.exe", L"drivers\\ntfs.sys", L"winload.exe"}, false},
      {{L"drivers\\ntfs.sys", L"drivers\\disk.sys", L"winload.exe"}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.files.size());
    std::filesystem::remove_all(drive_c_ / "Windows");
    ResetActivityState();
    for (const wchar_t* file : c.files) PutFile(std::wstring(L"C:\\Windows\\System32\\") + file, "x");
    RestartPromptPending.store(false);
    AdviseRestart();
    EXPECT_EQ(BootFilesIntact.load(), c.intact);
    EXPECT_TRUE(RestartPromptPending.load());  // the card shows either way, in its matching form
    EXPECT_EQ(ActivityLines().back(),
              c.intact ? L"[RESTART] Removal finished. Boot files look intact \u2014 a restart can finish cleanup."
                       : L"[RESTART] Boot files look incomplete. Do not rely on a normal restart. Use Windows Recovery.");
  }
}

TEST_F(ContainmentTest, RestartFallsBackToTheSystemFoldersShutdownExe) {
  RestartNow();
  EXPECT_EQ(standin::RestartRequests(), 1);
  EXPECT_TRUE(standin::ChildCommandLines().empty());
  standin::SetExitWindowsWorks(false);
  RestartNow();
  const std::wstring shutdown = L"C:\\Windows\\System32\\shutdown.exe";
  EXPECT_EQ(standin::ProgramStarts(), (std::vector<standin::ProgramStart>{
                                          {shutdown, L"\"" + shutdown + L"\" /r /t 0 /f", L"C:\\Windows\\System32",
                                           L"hidden"}}));
  // When even that cannot start, nothing is looked up by name through the shell.
  standin::SetChildStartWorks(false);
  RestartNow();
  EXPECT_EQ(standin::ProgramStarts().size(), 1u);
  EXPECT_TRUE(standin::ShellOpens().empty());
}

}  // namespace
