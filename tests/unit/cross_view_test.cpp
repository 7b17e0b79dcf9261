// Files hidden from the find listing, and the read-only look at the raw volume.
#include <atomic>
#include <filesystem>

#include "app/guarded_step.h"
#include "inspect/cross_view.h"
#include "inspect/volume_check.h"
#include "scan/scans.h"
#include "scan_fixture.h"

class CrossViewTest : public ScanTest {};

TEST_F(CrossViewTest, FilesInBothListingsAndFoldersAreNoMismatch) {
  PutFile(L"C:\\Windows\\Temp\\setup.log", "log");
  PutFile(L"C:\\Windows\\Temp\\Setup.LOG.bak", "log");
  PutFile(L"C:\\Windows\\Temp\\cache\\inner.dat", "data");
  standin::HideFromFindListing(L"C:\\Windows\\Temp\\cache");  // a folder never counts
  CrossViewFolder(L"C:\\Windows\\Temp");
  CheckUserModeHiding(L"C:\\Windows\\Temp\\cache");
  EXPECT_TRUE(ActivityLines().empty());
  EXPECT_EQ(ThreatState.load(), 0);
}

TEST_F(CrossViewTest, AHiddenFileInTheAdminCrossViewIsAThreatAndIsScanned) {
  const std::wstring hidden = PutFile(L"C:\\Windows\\Temp\\svch0st.dat", "payload");
  PutFile(L"C:\\Windows\\Temp\\visible.log", "log");
  standin::HideFromFindListing(hidden);
  CrossViewScan();
  EXPECT_EQ(ActivityLines(), (std::vector<std::wstring>{L"[ROOTKIT] Hidden file mismatch: " + hidden,
                                                         L"Hidden file found"}));
  EXPECT_EQ(ThreatState.load(), 2);
  EXPECT_EQ(ActiveTarget, hidden);
  EXPECT_EQ(ContainCount.load(), 1);
  EXPECT_EQ(RunCounters.scanned.load(), 1u);  // handed to the single-file scan
}

TEST_F(CrossViewTest, TheTemporaryFolderIsJoinedWithoutADoubleSeparator) {
  standin::SetTempFolder(L"C:\\Users\\bob\\AppData\\Local\\Temp\\");
  const std::wstring hidden = PutFile(L"C:\\Users\\bob\\AppData\\Local\\Temp\\drop.tmp", "x");
  standin::HideFromFindListing(hidden);
  CrossViewScan();
  EXPECT_TRUE(Logged(L"[ROOTKIT] Hidden file mismatch: " + hidden));
}

TEST_F(CrossViewTest, AFindListingThatCannotOpenMakesEveryFileAMismatch) {
  PutFile(L"C:\\Users\\bob\\Downloads\\a.txt", "a");
  PutFile(L"C:\\Users\\bob\\Downloads\\b.txt", "b");
  standin::FailListing(kDownloads, 0, 5);
  CheckUserModeHiding(kDownloads);
  EXPECT_EQ(CountLines(L"[ROOTKIT] User-mode hide mismatch: "), 2);
}

TEST_F(CrossViewTest, QuickScanReportsHiddenDownloadsAndTempFilesForReviewOnly) {
  standin::SetTempFolder(L"C:\\Users\\bob\\AppData\\Local\\Temp\\");
  const std::wstring in_downloads = PutFile(L"C:\\Users\\bob\\Downloads\\invoice.pdf.exe", "MZ");
  const std::wstring in_temp = PutFile(L"C:\\Users\\bob\\AppData\\Local\\Temp\\x.tmp", "x");
  standin::HideFromFindListing(in_downloads);
  standin::HideFromFindListing(in_temp);
  RunQuickScan();
  const auto lines = ActivityLines();
  const auto at = [&lines](const std::wstring& line) { return std::find(lines.begin(), lines.end(), line) - lines.begin(); };
  const auto first = at(L"[ROOTKIT] User-mode hide mismatch: " + in_downloads);
  ASSERT_LT(first + 3, static_cast<long>(lines.size()));
  EXPECT_EQ(lines[first + 1], L"Hidden file mismatch");
  EXPECT_EQ(lines[first + 2], L"[ROOTKIT] User-mode hide mismatch: " + in_temp);
  EXPECT_EQ(lines[first + 3], L"Hidden file mismatch");
  EXPECT_EQ(ContainCount.load(), 0);
  EXPECT_EQ(RunCounters.scanned.load(), 0u);  // hidden from the walk too, and not scanned here
}

TEST_F(CrossViewTest, AFolderWhoseListingFailsIsSkippedWithALineAndTheNextIsCompared) {
  const struct {
    const char* what;
    bool native;
    std::size_t after_entries;
    uint32_t error;
    std::wstring line;
  } cases[] = {
      // Without the skip, every file after the break would be reported as hidden.
      {"find listing breaks off", false, 1, 59,
       L"[ROOTKIT] Folder skipped, the find listing broke off (error 59): C:\\Windows\\Temp"},
      {"native listing breaks off", true, 2, 64,
       L"[ROOTKIT] Folder skipped, the native listing broke off (error 64): C:\\Windows\\Temp"},
      {"native listing refused", true, 0, 5,
       L"[ROOTKIT] Folder skipped, the native listing failed (error 5): C:\\Windows\\Temp"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    for (const wchar_t* name : {L"a.log", L"b.log", L"c.log", L"d.log"}) PutFile(std::wstring(L"C:\\Windows\\Temp\\") + name, "x");
    const std::wstring in_users = PutFile(L"C:\\Users\\dropped.exe", "MZ");
    standin::HideFromFindListing(in_users);
    if (c.native) {
      standin::FailNativeListing(L"C:\\Windows\\Temp", c.after_entries, c.error);
    } else {
      standin::FailListing(L"C:\\Windows\\Temp", c.after_entries, c.error);
    }
    EXPECT_TRUE(RunGuarded(L"cross-view", CrossViewScan));
    EXPECT_EQ(ActivityLines(), (std::vector<std::wstring>{c.line, L"[ROOTKIT] Hidden file mismatch: " + in_users,
                                                          L"Hidden file found"}));
  }
}

TEST_F(CrossViewTest, TheReviewCheckSkipsAFolderTheNativeQueryCannotList) {
  PutFile(L"C:\\Users\\bob\\Downloads\\a.txt", "a");
  standin::HideFromFindListing(PutFile(L"C:\\Users\\bob\\Downloads\\b.txt", "b"));
  standin::FailNativeListing(kDownloads, 0, 5);
  CheckUserModeHiding(kDownloads);
  EXPECT_EQ(ActivityLines(), std::vector<std::wstring>{
                                 L"[ROOTKIT] Folder skipped, the native listing failed (error 5): C:\\Users\\bob\\Downloads"});
  EXPECT_EQ(ThreatState.load(), 0);
}

TEST_F(CrossViewTest, AFileThatAppearsOrGoesWhileTheFolderIsListedIsNoMismatch) {
  const std::wstring folder = L"C:\\Windows\\Temp";
  const std::wstring hidden = PutFile(folder + L"\\rk.sys", "MZ");
  standin::HideFromFindListing(hidden);
  const std::wstring fresh = folder + L"\\~setup.tmp";
  const struct {
    const char* what;
    bool removed_again;  // after the first native listing, before the second look
  } cases[] = {{"created between the find and the native listing", false},
               {"created after the find listing and removed after the native one", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ResetActivityState();
    std::filesystem::remove(standin::HostPath(fresh));
    int native_listings = 0;
    standin::OnNativeListing(folder, [&](std::size_t handed) {
      if (handed == 0 && ++native_listings == 1) PutFile(fresh, "temporary");
      if (handed == 2 && native_listings == 1 && c.removed_again) std::filesystem::remove(standin::HostPath(fresh));
    });
    CrossViewFolder(folder);
    EXPECT_EQ(ActivityLines(), (std::vector<std::wstring>{L"[ROOTKIT] Hidden file mismatch: " + hidden,
                                                          L"Hidden file found"}));
    EXPECT_EQ(native_listings, 2);  // the first look and the second
  }
}

TEST_F(CrossViewTest, AStopBetweenEntriesEndsTheCheckWithNothingReported) {
  const struct {
    const char* what;
    std::atomic<bool>* flag;
    bool stop_value;
  } cases[] = {{"scan stop", &ScanStopRequested, true}, {"program end", &AppRunning, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    for (const wchar_t* name : {L"a.dat", L"b.dat", L"c.dat", L"d.dat"}) {
      standin::HideFromFindListing(PutFile(std::wstring(L"C:\\Windows\\Temp\\") + name, "x"));
    }
    standin::HideFromFindListing(PutFile(L"C:\\Users\\dropped.exe", "MZ"));
    std::size_t last_handed = 0;
    standin::OnNativeListing(L"C:\\Windows\\Temp", [&](std::size_t handed) {
      last_handed = handed;
      if (handed == 1) c.flag->store(c.stop_value);
    });
    RunAsVisibleScan(CrossViewScan);  // the check as a step of the stopped visible scan
    EXPECT_EQ(last_handed, 1u);  // the entry after the stop ended the listing
    EXPECT_TRUE(ActivityLines().empty());
    EXPECT_EQ(ContainCount.load(), 0);
    EXPECT_EQ(standin::JournalIndex("VisitFolderNative C:\\Users"), -1);  // nor was the next folder looked at
  }
}

TEST_F(CrossViewTest, SystemPlacesAndEmptyNamesAreNotReviewed) {
  const std::wstring hidden = PutFile(L"C:\\Program Files\\Vendor\\tool.dll", "MZ");
  standin::HideFromFindListing(hidden);
  CheckUserModeHiding(L"C:\\Program Files\\Vendor");
  CheckUserModeHiding(L"");
  EXPECT_TRUE(ActivityLines().empty());
}

TEST_F(CrossViewTest, TheRawVolumeIsOpenedOnlyInAdminMode) {
  standin::SetRawVolumeOpens(false);
  EXPECT_TRUE(ProbeSystemVolume());
  EXPECT_EQ(standin::JournalIndex("ProbeRawVolume"), -1);

  AdminMode = true;
  CheckSystemVolume();
  EXPECT_GE(standin::JournalIndex("ProbeRawVolume \\\\.\\C:"), 0);
  EXPECT_EQ(ActivityLines(), std::vector<std::wstring>{L"[VOLUME] Could not open C: for a read-only check."});

  standin::SetRawVolumeOpens(true);
  ResetActivityState();
  CheckSystemVolume();
  EXPECT_TRUE(ActivityLines().empty());
}
