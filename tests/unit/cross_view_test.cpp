// Files hidden from the find listing, and the read-only look at the raw volume.
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

TEST_F(CrossViewTest, ListingFailuresEndTheAdminStepButOnlySkipTheReviewCheck) {
  PutFile(L"C:\\Windows\\Temp\\a.log", "a");
  const std::wstring in_users = PutFile(L"C:\\Users\\dropped.exe", "MZ");
  standin::HideFromFindListing(in_users);
  standin::FailLibraryListing(L"C:\\Windows\\Temp", 1);
  RunGuarded(L"cross-view", CrossViewScan);
  EXPECT_EQ(ActivityLines(), std::vector<std::wstring>{
                                 L"[FAULT] cross-view recovered: directory_iterator::operator++: listing broke off"});

  ResetActivityState();
  standin::FailLibraryListing(kDownloads, 0);
  PutFile(L"C:\\Users\\bob\\Downloads\\a.txt", "a");
  CheckUserModeHiding(kDownloads);
  EXPECT_EQ(ActivityLines(),
            std::vector<std::wstring>{L"[FAULT] Rootkit folder check skipped: C:\\Users\\bob\\Downloads"});
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
