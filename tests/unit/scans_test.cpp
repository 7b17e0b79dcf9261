// The quick and deep scans, the drives they walk and the watch for new drives.
#include "app/text_file.h"
#include "platform/drives.h"
#include "scan/drives.h"
#include "response/disinfection.h"
#include "scan/scans.h"
#include "scan_fixture.h"
#include "ui/dashboard.h"
#include "ui/dashboard_state.h"

namespace {

class ScansTest : public ScanTest {
 protected:
  void SetUp() override {
    ScanTest::SetUp();
    extra_ = drive_c_.string() + "-drives";
    std::filesystem::remove_all(extra_);
  }
  void TearDown() override {
    std::filesystem::remove_all(extra_);
    ScanTest::TearDown();
  }
  // Maps a further drive letter to a host folder of its own.
  void AddDrive(wchar_t letter, uint32_t type) {
    const std::string host = extra_ + "/" + static_cast<char>(letter);
    std::filesystem::create_directories(host);
    standin::MapDrive(letter, host);
    standin::SetDriveType(letter, type);
  }
  std::string extra_;

  // A visible scan the dashboard's one-minute rule stopped, as the frame loop does it.
  static void StopVisibleScanAfterOneMinute() {
    ResetDashboardForTest();
    BeginVisibleScan();
    standin::AdvanceClock(60000);
    RunScanWatchdog(standin::Now());
    ASSERT_TRUE(ScanStopRequested.load());
    ASSERT_TRUE(Logged(L"[SCAN] Stopped after 1 minute. Remaining folders skipped."));
    ResetActivityState();
  }
};

TEST_F(ScansTest, QuickScanWalksDownloadsAndEndsWithItsFixedText) {
  PutFile(L"C:\\Users\\bob\\Downloads\\keylog.exe", "x");  // a warning on the way
  PutFile(L"C:\\Users\\bob\\Downloads\\notes.txt", "meeting at ten");
  PutFile(L"C:\\Users\\bob\\Documents\\not-walked.txt", "x");
  ScanActive.store(true);
  RunQuickScan();

  const auto lines = ActivityLines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines.front(), L"Running heuristic Quick Scan...");
  EXPECT_EQ(lines.back(), L"Quick Scan Complete. System Clean.");
  EXPECT_EQ(CountLines(L"[HEURISTIC] "), 1);
  EXPECT_EQ(ThreatState.load(), 0);  // the completion resets what the files set
  EXPECT_EQ(ScanProgress.load(), 1.0f);
  EXPECT_FALSE(ScanActive.load());
  EXPECT_TRUE(OverlayShown.load());
  // The end sequence saved the index and wrote the counters at once.
  std::string telemetry;
  ASSERT_TRUE(ReadTextFile(TelemetryPath, telemetry));
  EXPECT_EQ(telemetry.rfind("scanned=2 ", 0), 0u);
  EXPECT_NE(HostBytes(ScanIndexPath).find("C:\\Users\\bob\\Downloads\\notes.txt\t"), std::string::npos);
}

TEST_F(ScansTest, QuickScanWithoutAProfileOrStartedInTheBackground) {
  standin::SetProfileFolder(L"");
  PutFile(L"C:\\Users\\bob\\Downloads\\notes.txt", "x");
  BackgroundStart.store(true);
  RunQuickScan();
  EXPECT_EQ(RunCounters.scanned.load(), 0u);
  EXPECT_EQ(ActivityLines().back(), L"Quick Scan Complete. System Clean.");
  EXPECT_FALSE(OverlayShown.load());
}

TEST_F(ScansTest, DeepScanWalksEveryEligibleDrive) {
  standin::SetDriveType(L'C', platform::kDriveFixed);
  AddDrive(L'D', platform::kDriveCdRom);
  AddDrive(L'E', platform::kDriveRemovable);
  AddDrive(L'F', platform::kDriveRemovable);
  AddDrive(L'G', platform::kDriveRemote);
  AddDrive(L'R', platform::kDriveRamDisk);
  standin::SetDriveReady(L'F', false);
  standin::FailPath(L"R:\\", 1117);
  PutFile(L"C:\\a.txt", "a");
  PutFile(L"D:\\b.txt", "b");
  PutFile(L"E:\\c.txt", "c");
  PutFile(L"G:\\d.txt", "d");
  BackgroundStart.store(true);
  RunDeepScan();

  EXPECT_EQ(ActivityLines(), (std::vector<std::wstring>{
                                 L"Running heuristic Deep Scan...",
                                 L"[SCAN] Whole-disk pass: C:\\",
                                 L"[SCAN] Whole-disk pass: E:\\",
                                 L"[SCAN] Drive not ready, skipped: F:\\",
                                 L"[SCAN] Whole-disk pass: R:\\",
                                 L"[SCAN] Folder skipped, it cannot be listed (error 1117): R:\\",
                                 L"[REGISTRY] Could not open HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                                 L"[REGISTRY] Could not open HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
                                 L"[REGISTRY] Could not open HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                                 L"[REGISTRY] Could not open HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
                                 L"[ADMIN] Extended scan skipped (user mode).",
                                 L"Deep Scan Complete. System Protected.",
                             }));
  // C: holds a.txt and the data folder's telemetry-free files; E: holds c.txt.
  std::lock_guard<std::mutex> hold(ScanIndexLock);
  EXPECT_EQ(ScanIndex.count(L"C:\\a.txt"), 1u);
  EXPECT_EQ(ScanIndex.count(L"E:\\c.txt"), 1u);
  EXPECT_EQ(ScanIndex.count(L"D:\\b.txt"), 0u);
  EXPECT_EQ(ScanIndex.count(L"G:\\d.txt"), 0u);
  EXPECT_TRUE(OverlayShown.load());  // always, after a deep scan
}

TEST_F(ScansTest, StopRequestEndsTheWholeDiskPass) {
  AddDrive(L'E', platform::kDriveFixed);
  for (int i = 0; i < 5; ++i) PutFile(L"C:\\f" + std::to_wstring(i) + L".txt", "x");
  PutFile(L"E:\\e.txt", "x");
  CpuPercent.store(30.0f);  // every walked file pauses; the first pause brings the stop
  standin::OnSleep([](uint64_t) { ScanStopRequested.store(true); });
  RunAsVisibleScan(RunDeepScan);
  EXPECT_EQ(WalkedFileCount.load(), 1u);
  EXPECT_EQ(CountLines(L"[SCAN] Whole-disk pass: "), 1);
  EXPECT_TRUE(Logged(L"[SCAN] Whole-disk pass stopped before the end: C:\\"));
  EXPECT_EQ(ActivityLines().back(), L"Deep Scan Complete. System Protected.");
}

TEST_F(ScansTest, QuickScanSkipsAFolderItCannotListAndWalksOn) {
  PutFile(L"C:\\Users\\bob\\Downloads\\a-deep\\x.txt", "x");
  PutFile(L"C:\\Users\\bob\\Downloads\\b-later\\notes.txt", "meeting at ten");
  standin::FailListing(L"C:\\Users\\bob\\Downloads\\a-deep", 0, 206);
  RunQuickScan();
  EXPECT_TRUE(Logged(L"[SCAN] Folder skipped, it cannot be listed (error 206, path too long): "
                     L"C:\\Users\\bob\\Downloads\\a-deep"));
  EXPECT_EQ(RunCounters.scanned.load(), 1u);
  EXPECT_EQ(ActivityLines().back(), L"Quick Scan Complete. System Clean.");
}

TEST_F(ScansTest, TheOneMinuteStopLeavesNewDisksAndTheDisinfectionPassAlone) {
  AddDrive(L'E', platform::kDriveRemovable);
  PutFile(L"E:\\photo.txt", "x");
  PutFile(L"E:\\trip\\day1.txt", "x");
  PutFile(L"C:\\Users\\bob\\Downloads\\notes.txt", "meeting at ten");
  StopVisibleScanAfterOneMinute();

  ScanNewDisk(L"E:\\");
  EXPECT_EQ(ActivityLines(), (std::vector<std::wstring>{
                                 L"[DISK] New volume detected, scanning: E:\\",
                                 L"New disk connected \u2014 scanning it.",
                                 L"[DISK] Finished new-disk scan: E:\\",
                             }));
  EXPECT_EQ(RunCounters.scanned.load(), 2u);

  RunDisinfectionPass();
  EXPECT_EQ(RunCounters.scanned.load(), 3u);
  {
    std::lock_guard<std::mutex> hold(ScanIndexLock);
    EXPECT_EQ(ScanIndex.count(L"C:\\Users\\bob\\Downloads\\notes.txt"), 1u);
  }
  EXPECT_TRUE(Logged(L"[DISINFECT] Pass finished. New contains this run: 0"));

  // The visible quick scan is what the stop was for, until the next visible scan begins.
  RunAsVisibleScan(RunQuickScan);
  EXPECT_EQ(RunCounters.skipped_unchanged.load(), 0u);  // Downloads not walked
  ResetDashboardForTest();
  BeginVisibleScan();
  RunAsVisibleScan(RunQuickScan);
  EXPECT_EQ(RunCounters.skipped_unchanged.load(), 1u);  // walked again: notes.txt met unchanged
}

// A boot or headless quick scan beside the stopped visible scan walks to its end.
TEST_F(ScansTest, TheOneMinuteStopLeavesAScanStartedByTheProgramAlone) {
  PutFile(L"C:\\Users\\bob\\Downloads\\notes.txt", "meeting at ten");
  StopVisibleScanAfterOneMinute();
  RunQuickScan();
  EXPECT_EQ(RunCounters.scanned.load(), 1u);
  EXPECT_EQ(ActivityLines().back(), L"Quick Scan Complete. System Clean.");
}

TEST_F(ScansTest, DisinfectionPassSkipsAFolderItCannotListAndGoesOn) {
  PutFile(L"C:\\Users\\bob\\Downloads\\a.txt", "x");
  PutFile(L"C:\\Users\\bob\\Desktop\\notes.txt", "meeting at ten");
  standin::FailListing(kDownloads, 0, 64);  // a Downloads folder on a share that dropped
  RunDisinfectionPass();
  EXPECT_TRUE(Logged(L"[SCAN] Folder skipped, it cannot be listed (error 64, network share unreachable): " +
                     std::wstring(kDownloads)));
  EXPECT_EQ(RunCounters.scanned.load(), 1u);  // Desktop after it
  EXPECT_TRUE(Logged(L"[DISINFECT] Pass finished. New contains this run: 0"));
  EXPECT_EQ(CountLines(L"[FAULT] "), 0);
}

TEST_F(ScansTest, WalksCutShortByTheProgramsEndSaySo) {
  AddDrive(L'E', platform::kDriveRemovable);
  PutFile(L"E:\\a.txt", "x");
  PutFile(L"E:\\b.txt", "x");
  PutFile(L"C:\\Users\\bob\\Downloads\\a.txt", "x");
  PutFile(L"C:\\Users\\bob\\Downloads\\b.txt", "x");
  CpuPercent.store(30.0f);  // every walked file pauses; the first pause is the program's end
  standin::OnSleep([](uint64_t) { AppRunning.store(false); });

  ScanNewDisk(L"E:\\");
  EXPECT_EQ(RunCounters.scanned.load(), 1u);
  EXPECT_EQ(ActivityLines().back(), L"[DISK] New-disk scan stopped before the end: E:\\");
  EXPECT_EQ(CountLines(L"[DISK] Finished"), 0);

  AppRunning.store(true);
  RunDisinfectionPass();
  EXPECT_EQ(RunCounters.scanned.load(), 2u);
  EXPECT_EQ(ActivityLines().back(), L"[DISINFECT] Pass stopped before the end: the program is closing.");
  EXPECT_EQ(CountLines(L"[DISINFECT] Pass finished"), 0);
}

TEST_F(ScansTest, NewDrivesAreScannedAsTheyArrive) {
  // The machine gains a stick, a network drive and a DVD after the first poll, loses
  // the stick after the second and gets it back after the third.
  auto polls = std::make_shared<int>(0);
  standin::OnSleep([this, polls](uint64_t ms) {
    if (ms != 2000) return;
    switch (++*polls) {
      case 1:
        AddDrive(L'E', platform::kDriveRemovable);
        AddDrive(L'G', platform::kDriveRemote);
        AddDrive(L'D', platform::kDriveCdRom);
        break;
      case 2:
        standin::UnmapDrive(L'E');
        break;
      case 3:
        AddDrive(L'E', platform::kDriveRemovable);
        break;
      default:
        AppRunning.store(false);
    }
  });
  WatchForNewDisks();
  const auto threads = standin::StartedThreads();
  ASSERT_EQ(threads.size(), 2u);
  for (const auto& thread : threads) EXPECT_EQ(thread.name, L"new-disk");

  AppRunning.store(true);
  PutFile(L"E:\\photo.txt", "x");
  threads[0].body();
  EXPECT_EQ(ActivityLines(), (std::vector<std::wstring>{
                                 L"[DISK] New volume detected, scanning: E:\\",
                                 L"New disk connected \u2014 scanning it.",
                                 L"[DISK] Finished new-disk scan: E:\\",
                             }));
  EXPECT_EQ(RunCounters.scanned.load(), 1u);
}

}  // namespace
