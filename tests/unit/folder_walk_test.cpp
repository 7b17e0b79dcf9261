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
  // An excluded tree is not even listed: a listing of it would be a skip line here.
  standin::FailListing(L"C:\\data\\$Recycle.Bin", 0, 1117);

  EXPECT_TRUE(ScanFolderTree(L"C:\\data", nullptr));
  EXPECT_TRUE(ActivityLines().empty());
  EXPECT_EQ(RunCounters.scanned.load(), 2u);
  EXPECT_EQ(WalkedFileCount.load(), 2u);
  std::lock_guard<std::mutex> hold(ScanIndexLock);
  EXPECT_EQ(ScanIndex.count(L"C:\\data\\a.txt"), 1u);
  EXPECT_EQ(ScanIndex.count(L"C:\\data\\sub\\deeper\\b.txt"), 1u);
}

TEST_F(FolderWalkTest, OwnDataFoldersAreNotWalked) {
  PutFile(L"C:\\KestruneAV\\Quarantine\\evil.exe.1", "MZ");
  PutFile(L"C:\\KestruneAV\\Snapshots\\C__Users_bob_x.txt.snapshot", "copy");
  ScanFolderTree(L"C:\\KestruneAV", nullptr);
  std::lock_guard<std::mutex> hold(ScanIndexLock);
  EXPECT_GT(ScanIndex.size(), 0u);  // the lists and the marker are walked
  for (const auto& [path, stamp] : ScanIndex) {
    EXPECT_EQ(path.find(L"\\Quarantine\\"), std::wstring::npos);
    EXPECT_EQ(path.find(L"\\Snapshots\\"), std::wstring::npos);
  }
}

TEST_F(FolderWalkTest, FoldersThatCannotBeListedAreSkippedAndNamed) {
  // Sorted first, each would have ended the walk before the files after it.
  PutFile(L"C:\\data\\a-gone\\1.txt", "1");
  PutFile(L"C:\\data\\b-deep\\2.txt", "2");
  PutFile(L"C:\\data\\c-denied\\3.txt", "3");
  PutFile(L"C:\\data\\d-broken\\4.txt", "4");
  PutFile(L"C:\\data\\d-broken\\5.txt", "5");
  PutFile(L"C:\\data\\e-share\\6.txt", "6");
  PutFile(L"C:\\data\\z-last\\sub\\7.txt", "7");
  PutFile(L"C:\\data\\z-last.txt", "8");
  standin::FailListing(L"C:\\data\\a-gone", 0, 3);     // deleted while the walk went on
  standin::FailListing(L"C:\\data\\b-deep", 0, 206);   // a path the file system will not take
  standin::FailPath(L"C:\\data\\c-denied", 5);         // refuses access
  standin::FailListing(L"C:\\data\\d-broken", 1, 59);  // breaks off after one file
  standin::FailListing(L"C:\\data\\e-share", 0, 1117);  // a code without a name of its own

  EXPECT_TRUE(ScanFolderTree(L"C:\\data", nullptr));
  EXPECT_EQ(WalkedFileCount.load(), 3u);  // 4.txt before the break, 7.txt and z-last.txt after it all
  std::lock_guard<std::mutex> hold(ScanIndexLock);
  EXPECT_EQ(ScanIndex.count(L"C:\\data\\z-last\\sub\\7.txt"), 1u);
  EXPECT_EQ(ScanIndex.count(L"C:\\data\\z-last.txt"), 1u);
  EXPECT_EQ(ActivityLines(), (std::vector<std::wstring>{
                                 L"[SCAN] Folder skipped, it cannot be listed (error 3, gone): C:\\data\\a-gone",
                                 L"[SCAN] Folder skipped, it cannot be listed (error 206, path too long): "
                                 L"C:\\data\\b-deep",
                                 L"[SCAN] Folder skipped, it cannot be listed (error 5, access denied): "
                                 L"C:\\data\\c-denied",
                                 L"[SCAN] Folder skipped, it cannot be listed (error 59, network share unreachable): "
                                 L"C:\\data\\d-broken",
                                 L"[SCAN] Folder skipped, it cannot be listed (error 1117): C:\\data\\e-share",
                             }));
}

TEST_F(FolderWalkTest, SkippedFoldersAreNamedUpToTheBoundThenCounted) {
  for (int i = 0; i < kSkippedFolderLines + 7; ++i) {
    wchar_t folder[32];
    std::swprintf(folder, 32, L"C:\\data\\d%02d", i);
    PutFile(std::wstring(folder) + L"\\x.txt", "x");
    standin::FailListing(folder, 0, 3);
  }
  PutFile(L"C:\\data\\zz.txt", "z");
  EXPECT_TRUE(ScanFolderTree(L"C:\\data", nullptr));
  EXPECT_EQ(WalkedFileCount.load(), 1u);
  EXPECT_EQ(CountLines(L"[SCAN] Folder skipped, it cannot be listed "), kSkippedFolderLines);
  EXPECT_TRUE(Logged(L"[SCAN] Folder skipped, it cannot be listed (error 3, gone): C:\\data\\d19"));
  EXPECT_FALSE(Logged(L"[SCAN] Folder skipped, it cannot be listed (error 3, gone): C:\\data\\d20"));
  EXPECT_EQ(ActivityLines().back(), L"[SCAN] 7 more folders skipped under C:\\data, they cannot be listed.");
  EXPECT_EQ(ActivityLines().size(), static_cast<std::size_t>(kSkippedFolderLines + 1));

  // Each walk has a bound of its own.
  ResetActivityState();
  standin::FailListing(L"C:\\data\\d00", 0, 0);
  EXPECT_TRUE(ScanFolderTree(L"C:\\data", nullptr));
  EXPECT_EQ(CountLines(L"[SCAN] Folder skipped, it cannot be listed "), kSkippedFolderLines);
  EXPECT_EQ(ActivityLines().back(), L"[SCAN] 6 more folders skipped under C:\\data, they cannot be listed.");
}

TEST_F(FolderWalkTest, RootThatCannotBeListedOrToldOrIsMissing) {
  PutFile(L"C:\\data\\a.txt", "a");
  standin::FailListing(L"C:\\data", 0, 5);
  EXPECT_TRUE(ScanFolderTree(L"C:\\data", nullptr));
  EXPECT_EQ(WalkedFileCount.load(), 0u);
  EXPECT_EQ(ActivityLines(), std::vector<std::wstring>{
                                 L"[SCAN] Folder skipped, it cannot be listed (error 5, access denied): C:\\data"});

  // A missing root (or a file) is an empty tree; a root the file system will not
  // answer for is skipped like any folder, and the scan it belongs to goes on.
  ResetActivityState();
  PutFile(L"C:\\a-file", "x");
  EXPECT_TRUE(ScanFolderTree(L"C:\\missing", nullptr));
  EXPECT_TRUE(ScanFolderTree(L"C:\\a-file", nullptr));
  EXPECT_TRUE(ActivityLines().empty());
  standin::FailPath(L"C:\\odd", 1117);
  EXPECT_TRUE(RunGuarded(L"new-disk", [] { ScanFolderTree(L"C:\\odd", nullptr); }));
  EXPECT_EQ(ActivityLines(),
            std::vector<std::wstring>{L"[SCAN] Folder skipped, it cannot be listed (error 1117): C:\\odd"});
}

TEST_F(FolderWalkTest, StopsBeforeTheNextEntry) {
  for (int i = 0; i < 10; ++i) PutFile(L"C:\\data\\f" + std::to_wstring(i) + L".txt", "x");
  PutFile(L"C:\\data\\sub\\later.txt", "x");
  // A busy machine makes every file pause; the second pause brings the stop.
  CpuPercent.store(30.0f);
  std::atomic<bool> own_stop{false};
  const struct {
    const char* what;
    std::atomic<bool>* flag;
    bool stop_value;
    const std::atomic<bool>* walk_stop;  // what the walk is given
    uint64_t walked;
  } cases[] = {
      {"the walk's own stop", &own_stop, true, &own_stop, 2},
      {"the program's end", &AppRunning, false, nullptr, 2},
      {"the program's end, with a stop given", &AppRunning, false, &own_stop, 2},
      {"a stop meant for another walk", &ScanStopRequested, true, &own_stop, 11},
      {"a stop when the walk was given none", &ScanStopRequested, true, nullptr, 11},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    WalkedFileCount.store(0);
    ScanStopRequested.store(false);
    own_stop.store(false);
    AppRunning.store(true);
    auto sleeps = std::make_shared<int>(0);
    standin::OnSleep([sleeps, &c](uint64_t) {
      if (++*sleeps == 2) c.flag->store(c.stop_value);
    });
    EXPECT_EQ(ScanFolderTree(L"C:\\data", c.walk_stop), c.walked == 11);
    EXPECT_EQ(WalkedFileCount.load(), c.walked);
  }
  // Stopped between folders: the next folder is not listed.
  AppRunning.store(true);
  WalkedFileCount.store(0);
  own_stop.store(false);
  standin::OnSleep([&own_stop](uint64_t) { own_stop.store(true); });
  PutFile(L"C:\\tree\\a\\one.txt", "x");
  PutFile(L"C:\\tree\\b\\two.txt", "x");
  standin::FailListing(L"C:\\tree\\b", 0, 3);
  EXPECT_FALSE(ScanFolderTree(L"C:\\tree", &own_stop));
  EXPECT_EQ(WalkedFileCount.load(), 1u);
  EXPECT_EQ(CountLines(L"[SCAN] Folder skipped"), 0);
}

TEST_F(FolderWalkTest, ProgressCurveWhileAVisibleScanRuns) {
  EXPECT_NEAR(WalkProgressAfter(1), 0.0801f, 0.0001f);
  EXPECT_NEAR(WalkProgressAfter(8000), 0.649f, 0.001f);
  EXPECT_NEAR(WalkProgressAfter(40000), 0.974f, 0.001f);
  EXPECT_FLOAT_EQ(WalkProgressAfter(10'000'000), 0.98f);

  PutFile(L"C:\\data\\a.txt", "a");
  ScanFolderTree(L"C:\\data", nullptr);
  EXPECT_EQ(ScanProgress.load(), 0.0f);  // no visible scan, no progress
  ScanActive.store(true);
  WalkedFileCount.store(7999);
  ScanFolderTree(L"C:\\data", nullptr);
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
