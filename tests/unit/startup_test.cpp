#include "app/startup.h"

#include <algorithm>

#include "app/single_instance.h"
#include "standin_fixture.h"

class StartupTest : public StandinTest {
 protected:
  // The journal entries, in order, that begin with one of the prefixes.
  static std::vector<std::string> Picked(const std::vector<std::string>& prefixes) {
    std::vector<std::string> picked;
    for (const auto& entry : standin::Journal()) {
      for (const auto& prefix : prefixes) {
        if (entry.rfind(prefix, 0) == 0) {
          picked.push_back(entry);
          break;
        }
      }
    }
    return picked;
  }
  static int ThreadsNamed(const std::wstring& name) {
    int count = 0;
    for (const auto& t : standin::StartedThreads()) count += t.name == name;
    return count;
  }
};

TEST_F(StartupTest, SecondInstanceExitsBeforeTouchingAnything) {
  standin::SetInstanceLock(platform::InstanceLock::AlreadyRunning);
  standin::SetInstanceWindow(true);
  EXPECT_EQ(RunProgram("KestruneAV.exe", 1), 0);
  EXPECT_EQ(standin::Journal(), (std::vector<std::string>{"DetachConsole", "SetAppIdentity Kestrune.KestruneAV",
                                                          "AcquireInstanceMutex Local\\KestruneAVSingle"}));
  EXPECT_TRUE(ActivityLines().empty());
  EXPECT_TRUE(std::filesystem::is_empty(drive_c_));
}

TEST_F(StartupTest, ASquattedInstanceNameDoesNotStopProtection) {
  // Another program created the name first and holds it; no instance of ours runs.
  standin::SetInstanceLock(platform::InstanceLock::AlreadyRunning);
  EXPECT_EQ(RunProgram("KestruneAV.exe", 10), 0);
  EXPECT_NE(standin::JournalIndex("HardenProcessAccess"), -1);
  EXPECT_EQ(ThreadsNamed(L"proc-watch"), 1);
  uint64_t waited = 0;
  for (const uint64_t ms : standin::Sleeps()) waited += ms == 250 ? ms : 0;
  EXPECT_GE(waited, kInstanceWaitMs);
  const auto lines = ActivityLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      L"[SYSTEM] Another program holds the single-instance name; no running instance of Kestrune "
                      L"answers, so this one starts."),
            lines.end());
}

TEST_F(StartupTest, AnInstanceThatShowsItsWindowDuringTheWaitStillWins) {
  // A real instance that had the name but was still loading its lists.
  standin::SetInstanceLock(platform::InstanceLock::AlreadyRunning);
  int sleeps = 0;
  standin::OnSleep([&](uint64_t) {
    if (++sleeps == 3) standin::SetInstanceWindow(true);
  });
  EXPECT_EQ(RunProgram("KestruneAV.exe", 1), 0);
  EXPECT_EQ(standin::JournalIndex("HardenProcessAccess"), -1);
  EXPECT_TRUE(std::filesystem::is_empty(drive_c_));
}

TEST_F(StartupTest, ANameWhoseHolderHasEndedIsTakenOverAtOnce) {
  // The instance that asked for the elevated restart is just ending.
  standin::SetInstanceLock(platform::InstanceLock::AlreadyRunning);
  standin::SetInstanceMutexFreed(true);
  EXPECT_EQ(RunProgram("KestruneAV.exe", 1), 0);
  EXPECT_NE(standin::JournalIndex("HardenProcessAccess"), -1);
  EXPECT_EQ(standin::JournalIndex("Sleep 250"), -1);
  for (const auto& line : ActivityLines()) EXPECT_EQ(line.find(L"single-instance"), std::wstring::npos);
}

TEST_F(StartupTest, WindowedRunFollowsTheStartAndShutdownOrder) {
  standin::SetInstanceLock(platform::InstanceLock::Failed);  // a failed mutex does not stop start-up
  standin::SetShellFolder(platform::ShellFolder::Programs, L"C:\\Users\\bob\\Programs");
  std::filesystem::create_directories(standin::HostPath(L"C:\\Users\\bob\\Programs"));
  EXPECT_EQ(RunProgram("KestruneAV.exe", 10), 0);
  ASSERT_EQ(standin::Shortcuts().size(), 1u);
  EXPECT_EQ(standin::Shortcuts()[0].first, L"C:\\Users\\bob\\Programs\\Kestrune AV.lnk");
  EXPECT_EQ(Picked({"DetachConsole", "SetAppIdentity", "AcquireInstanceMutex", "HardenProcessAccess",
                    "MakeGuardedFolder C:\\KestruneAV\\Quarantine", "ComInit", "CreateWindow", "WindowAppIdentity", "CreateDevice",
                    "CreateRenderTarget", "ShowWindow", "HideWindow", "InitBackends", "CpuQueryOpen",
                    "StartThread q-worker-a", "Present", "CpuQueryClose", "ShutdownBackends", "ReleaseDevice",
                    "DestroyWindow", "UnregisterClass", "ComUninit"}),
            (std::vector<std::string>{
                "DetachConsole", "SetAppIdentity Kestrune.KestruneAV", "AcquireInstanceMutex Local\\KestruneAVSingle",
                "HardenProcessAccess", "MakeGuardedFolder C:\\KestruneAV\\Quarantine", "ComInit", "CreateWindow",
                "SetAppIdentity Kestrune.KestruneAV", "WindowAppIdentity Kestrune.KestruneAV", "CreateDevice hardware", "CreateRenderTarget", "ShowWindow 10", "InitBackends", "CpuQueryOpen",
                "StartThread q-worker-a", "Present vsync=0", "CpuQueryClose", "ShutdownBackends",
                "ReleaseDevice", "DestroyWindow", "UnregisterClass", "ComUninit"}));
  EXPECT_FALSE(AppRunning.load());
  EXPECT_FALSE(BackgroundStart.load());
  EXPECT_EQ(ActivityLines(), (std::vector<std::wstring>{
                                 L"[ENGINE] Heuristic scan plus 0 local bad hashes. No cloud lookup, so a dead "
                                 L"network cannot stall a scan.",
                                 L"[SYSTEM] Detection core online. Quarantine=C:\\KestruneAV\\Quarantine",
                                 L"[SYSTEM] OS profile: Windows 10  build 19045",
                                 L"[STARTUP] One background start at logon.",
                                 L"[UPDATE] KestruneUpdater.exe not found next to the AV: C:\\Program Files\\KestruneAV",
                                 L"[INTEGRITY] Definition backup refreshed.",
                                 L"[SYSTEM] Kestrune 2.0 heuristic engine active (no signatures).",
                             }));
}

TEST_F(StartupTest, BackgroundSwitchAnywhereStartsHiddenWithOneSilentScan) {
  for (const char* command_line : {"KestruneAV.exe /background", "\"C:\\x\\KestruneAV.exe\" -flag/background=1"}) {
    SCOPED_TRACE(command_line);
    SetUp();
    standin::SetShownOnTurn([](int) { return false; });
    EXPECT_EQ(RunProgram(command_line, 10), 0);
    EXPECT_TRUE(BackgroundStart.load());
    EXPECT_FALSE(UiVisible.load());
    EXPECT_EQ(Picked({"ShowWindow"}), std::vector<std::string>{"ShowWindow 0"});
    EXPECT_EQ(ThreadsNamed(L"boot-scan"), 1);
    const auto lines = ActivityLines();
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[6], L"[STARTUP] Background protection on. Silent scan started.");
    EXPECT_EQ(lines[7], L"[SYSTEM] Kestrune 2.0 heuristic engine active (no signatures).");
    EXPECT_TRUE(standin::Presents().empty());
    EXPECT_EQ(standin::JournalIndex("WindowAppIdentity"), -1);  // shortcuts and window left alone
    EXPECT_TRUE(standin::Shortcuts().empty());
  }
}

TEST_F(StartupTest, TheSilentScanReallyScansAndStaysOffScreen) {
  standin::SetShownOnTurn([](int) { return false; });
  standin::SetProfileFolder(L"C:\\Users\\bob");
  PutFile(L"C:\\Users\\bob\\Downloads\\report.txt", "figures");
  RunProgram("KestruneAV.exe /background", 10);
  AppRunning.store(true);
  for (const auto& thread : standin::StartedThreads()) {
    if (thread.name == L"boot-scan") thread.body();
  }
  EXPECT_EQ(RunCounters.scanned.load(), 1u);
  EXPECT_EQ(ActivityLines().back(), L"Quick Scan Complete. System Clean.");
  EXPECT_FALSE(OverlayShown.load());
}

TEST_F(StartupTest, WorkersThatCannotStartAreFaultsNotAnEnd) {
  standin::SetThreadStartFails(true);
  EXPECT_EQ(RunProgram("KestruneAV.exe", 10), 0);
  const auto lines = ActivityLines();
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const auto& line) { return line.rfind(L"[FAULT] ", 0) == 0; }),
            9);  // every worker of a workstation
  EXPECT_NE(std::find(lines.begin(), lines.end(), L"[FAULT] proc-watch recovered: Resource temporarily unavailable"),
            lines.end());
}

TEST_F(StartupTest, SwitchIsCaseSensitive) {
  RunProgram("KestruneAV.exe /BACKGROUND", 10);
  EXPECT_FALSE(BackgroundStart.load());
  EXPECT_EQ(ThreadsNamed(L"boot-scan"), 0);
}

TEST_F(StartupTest, WarpDeviceStillShowsTheDashboard) {
  standin::SetDevices(false, true);
  RunProgram("KestruneAV.exe", 10);
  EXPECT_GE(standin::JournalIndex("CreateDevice warp"), 0);
  EXPECT_EQ(standin::Presents().size(), 1u);
  EXPECT_EQ(ThreadsNamed(L"headless-scan"), 0);
}

TEST_F(StartupTest, NoDeviceOrNoWindowRunsHeadless) {
  const struct {
    const char* what;
    bool window;
  } cases[] = {{"no device", true}, {"no window", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    standin::SetWindowWorks(c.window);
    standin::SetDevices(false, false);
    // Nothing inside the process stops a headless run: the end of the session does
    // (the window's quit message) or, without a window, the test.
    standin::SetQuitAfterTurns(3);
    StopAfterSleeps(2);
    EXPECT_EQ(RunProgram("KestruneAV.exe", 10), 0);

    const auto journal = standin::Journal();
    const auto waits = std::count(journal.begin(), journal.end(), std::string("WaitForMessages 15000"));
    if (c.window) {
      // The window's messages are pumped between the waits, never slept through.
      EXPECT_TRUE(standin::Sleeps().empty());
      EXPECT_GT(waits, 0);
    } else {
      EXPECT_EQ(standin::Sleeps(), (std::vector<uint64_t>{15000, 15000}));
      EXPECT_EQ(waits, 0);
    }
    EXPECT_EQ(ThreadsNamed(L"headless-scan"), 1);
    EXPECT_EQ(ThreadsNamed(L"proc-watch"), 1);
    EXPECT_TRUE(standin::Presents().empty());
    EXPECT_EQ(standin::JournalIndex("DestroyWindow") >= 0, c.window);
    EXPECT_LT(standin::JournalIndex("ReleaseDevice"), standin::JournalIndex("CpuQueryOpen"));
    const auto lines = ActivityLines();
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[6], L"[SYSTEM] Kestrune 2.0 heuristic engine active (no signatures).");
    EXPECT_EQ(lines[7], L"[SYSTEM] GUI unavailable \u2014 engine stays on in headless mode.");
    EXPECT_FALSE(UiVisible.load());
  }
}
