// The walks: what is entered, what is scanned, and when a walk stops.
#include <filesystem>

#include "app/guarded_step.h"
#include "scan/dropper_rescan.h"
#include "scan/folder_walk.h"
#include "scan_fixture.h"

namespace {

using FolderWalkTest = ScanTest;

TEST_F(FolderWalkTest, WalksTheTreeButNotExcludedPlacesOrLinks) {
  PutFile(L"C:\\data\\a.txt", "a");
  PutFile(L"C:\\data\\sub\\deeper\\b.txt", "b");
  PutFile(L"C:\\data\\$Recycle.Bin\\S-1-5\\gone.exe", "x");
  PutFile(L"C:\\data\\Windows\\WinSxS\\amd64\\c.dll", "x");
  PutFile(L"C:\\data\\pagefile.sys", "x");
  PutFile(L"C:\\outside\\d.txt", "d");
  std::filesystem::create_directory_symlink(drive_c_ / "outside", drive_c_ / "data" / "junction");
  std::filesystem::create_symlink(drive_c_ / "outside" / "d.txt", drive_c_ / "data" / "link.txt");
  // An excluded tree is not even listed: a listing of it would fail the walk here.
  standin::FailListing(L"C:\\data\\$Recycle.Bin", 0, 1117);

  ScanFolderTree(L"C:\\data");
  EXPECT_EQ(RunCounters.scanned.load(), 2u);
  EXPECT_EQ(WalkedFileCount.load(), 2u);
  std::lock_guard<std::mutex> hold(ScanIndexLock);
  EXPECT_EQ(ScanIndex.count(L"C:\\data\\a.txt"), 1u);
  EXPECT_EQ(ScanIndex.count(L"C:\\data\\sub\\deeper\\b.txt"), 1u);
}

TEST_F(FolderWalkTest, OwnDataFoldersAreNotWalked) {
  PutFile(L"C:\\KestruneAV\\Quarantine\\evil.exe.1", "MZ");
  PutFile(L"C:\\KestruneAV\\Snapshots\\C__Users_bob_x.txt.snapshot", "copy");
  ScanFolderTree(L"C:\\KestruneAV");
  std::lock_guard<std::mutex> hold(ScanIndexLock);
  EXPECT_GT(ScanIndex.size(), 0u);  // the lists and the marker are walked
  for (const auto& [path, stamp] : ScanIndex) {
    EXPECT_EQ(path.find(L"\\Quarantine\\"), std::wstring::npos);
    EXPECT_EQ(path.find(L"\\Snapshots\\"), std::wstring::npos);
  }
}

TEST_F(FolderWalkTest, ListingErrors) {
  PutFile(L"C:\\data\\1.txt", "1");
  PutFile(L"C:\\data\\locked\\2.txt", "2");
  PutFile(L"C:\\data\\zz\\3.txt", "3");
  standin::FailPath(L"C:\\data\\locked", 5);  // refuses access: passed over
  ScanFolderTree(L"C:\\data");
  EXPECT_EQ(WalkedFileCount.load(), 2u);

  // A listing that breaks off ends the whole walk quietly.
  WalkedFileCount.store(0);
  standin::FailListing(L"C:\\data", 1, 59);
  ScanFolderTree(L"C:\\data");
  EXPECT_EQ(WalkedFileCount.load(), 1u);
  EXPECT_TRUE(ActivityLines().empty());

  // A missing root is nothing; a root whose existence cannot be told is a fault.
  ScanFolderTree(L"C:\\missing");
  standin::FailPath(L"C:\\odd", 1117);
  EXPECT_FALSE(RunGuarded(L"new-disk", [] { ScanFolderTree(L"C:\\odd"); }));
  ASSERT_EQ(ActivityLines().size(), 1u);
  EXPECT_EQ(ActivityLines()[0].rfind(L"[FAULT] new-disk recovered: exists: ", 0), 0u);
}

TEST_F(FolderWalkTest, StopsBeforeTheNextEntry) {
  for (int i = 0; i < 10; ++i) PutFile(L"C:\\data\\f" + std::to_wstring(i) + L".txt", "x");
  // A busy machine makes every file pause; the second pause brings the stop.
  CpuPercent.store(30.0f);
  const struct {
    std::atomic<bool>* flag;
    bool stop_value;
  } stops[] = {{&ScanStopRequested, true}, {&AppRunning, false}};
  for (const auto& stop : stops) {
    WalkedFileCount.store(0);
    ScanStopRequested.store(false);
    AppRunning.store(true);
    auto sleeps = std::make_shared<int>(0);
    standin::OnSleep([sleeps, stop](uint64_t) {
      if (++*sleeps == 2) stop.flag->store(stop.stop_value);
    });
    ScanFolderTree(L"C:\\data");
    EXPECT_EQ(WalkedFileCount.load(), 2u);
  }
}

TEST_F(FolderWalkTest, ProgressCurveWhileAVisibleScanRuns) {
  EXPECT_NEAR(WalkProgressAfter(1), 0.0801f, 0.0001f);
  EXPECT_NEAR(WalkProgressAfter(8000), 0.649f, 0.001f);
  EXPECT_NEAR(WalkProgressAfter(40000), 0.974f, 0.001f);
  EXPECT_FLOAT_EQ(WalkProgressAfter(10'000'000), 0.98f);

  PutFile(L"C:\\data\\a.txt", "a");
  ScanFolderTree(L"C:\\data");
  EXPECT_EQ(ScanProgress.load(), 0.0f);  // no visible scan, no progress
  ScanActive.store(true);
  WalkedFileCount.store(7999);
  ScanFolderTree(L"C:\\data");
  EXPECT_NEAR(ScanProgress.load(), 0.649f, 0.001f);
}

TEST_F(FolderWalkTest, AllUserFoldersButTheSharedProfiles) {
  for (const wchar_t* user : {L"bob", L"public", L"Public", L"Default", L"All Users"}) {
    const std::wstring profile = std::wstring(L"C:\\Users\\") + user;
    PutFile(profile + L"\\Downloads\\a.txt", "a");
    PutFile(profile + L"\\Desktop\\b.txt", "b");
    PutFile(profile + L"\\AppData\\Local\\Temp\\c.txt", "c");
    PutFile(profile + L"\\Documents\\not-walked.txt", "d");
  }
  PutFile(L"C:\\Users\\desktop.ini", "x");
  ScanAllUserFolders();
  EXPECT_EQ(WalkedFileCount.load(), 6u);  // bob and the lower-case public, three folders each
  std::lock_guard<std::mutex> hold(ScanIndexLock);
  EXPECT_EQ(ScanIndex.count(L"C:\\Users\\public\\AppData\\Local\\Temp\\c.txt"), 1u);
}

TEST_F(FolderWalkTest, UserFolderListingErrorsAreFaultsOfTheStep) {
  PutFile(L"C:\\Users\\bob\\Downloads\\a.txt", "a");
  standin::FailListing(L"C:\\Users", 1, 59);
  EXPECT_FALSE(RunGuarded(L"admin-users", ScanAllUserFolders));
  EXPECT_TRUE(Logged(L"[FAULT] admin-users recovered: directory_iterator::operator++: error 59"));
}

TEST_F(FolderWalkTest, DropperRescanLooksAtFortyNineNeighbours) {
  for (int i = 0; i < 100; ++i) {
    wchar_t name[32];
    std::swprintf(name, 32, L"C:\\Users\\bob\\Downloads\\f%03d.txt", i);
    PutFile(name, "x");
  }
  PutFile(L"C:\\Users\\bob\\Downloads\\sub\\inner.txt", "x");
  const std::wstring trigger = L"C:\\Users\\bob\\Downloads\\f000.txt";
  EXPECT_TRUE(RescanDropperFolderOnce(trigger));
  EXPECT_EQ(RunCounters.scanned.load(), 49u);
  std::lock_guard<std::mutex> hold(ScanIndexLock);
  EXPECT_EQ(ScanIndex.count(trigger), 0u);
  EXPECT_EQ(ScanIndex.count(L"C:\\Users\\bob\\Downloads\\f049.txt"), 1u);
  EXPECT_EQ(ScanIndex.count(L"C:\\Users\\bob\\Downloads\\f050.txt"), 0u);
}

TEST_F(FolderWalkTest, DropperRescanErrors) {
  RescanDropperFolder(L"C:\\nowhere\\x.exe");  // a missing folder is nothing
  PutFile(L"C:\\Users\\bob\\Downloads\\a.txt", "a");
  standin::FailListing(kDownloads, 0, 59);
  EXPECT_TRUE(RescanDropperFolderOnce(L"C:\\Users\\bob\\Downloads\\x.exe"));
  EXPECT_TRUE(Logged(L"[FAULT] dropper-rescan recovered: directory_iterator::operator++: error 59"));
}

}  // namespace
