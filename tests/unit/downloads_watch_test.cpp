// The Downloads watch: which change records lead to a scan, and when.
#include <algorithm>
#include <fstream>

#include "platform/folder_changes.h"
#include "scan/downloads_watch.h"
#include "scan_fixture.h"

namespace {

using platform::kChangeAdded;
using platform::kChangeModified;
using platform::kChangeRemoved;
using platform::kChangeRenamedNewName;
using platform::kChangeRenamedOldName;

class DownloadsWatchTest : public ScanTest {
 protected:
  static std::size_t Settles() {
    const auto sleeps = standin::Sleeps();
    return static_cast<std::size_t>(std::count(sleeps.begin(), sleeps.end(), uint64_t{400}));
  }
  static bool Indexed(const std::wstring& path) {
    std::lock_guard<std::mutex> hold(ScanIndexLock);
    return ScanIndex.count(path) == 1;
  }
};

TEST_F(DownloadsWatchTest, BrowserDownloadIsScannedUnderItsFinalName) {
  PutFile(L"C:\\Users\\bob\\Downloads\\setup.exe.crdownload", "");
  PutFile(L"C:\\Users\\bob\\Downloads\\old.txt", "x");
  standin::QueueFolderChanges(kDownloads, {{kChangeAdded, L"setup.exe.crdownload"},
                                           {kChangeModified, L"setup.exe.crdownload"}});
  standin::QueueFolderChanges(kDownloads, {{kChangeRenamedOldName, L"setup.exe.crdownload"},
                                           {kChangeRenamedNewName, L"setup.exe"},
                                           {kChangeRemoved, L"old.txt"}});
  // The rename happens before its records are read.
  std::filesystem::rename(standin::HostPath(L"C:\\Users\\bob\\Downloads\\setup.exe.crdownload"),
                          standin::HostPath(L"C:\\Users\\bob\\Downloads\\setup.exe"));
  PutFile(L"C:\\Users\\bob\\Downloads\\setup.exe", "MZ the finished download");
  WatchDownloads();

  EXPECT_EQ(RunCounters.scanned.load(), 1u);
  EXPECT_TRUE(Indexed(L"C:\\Users\\bob\\Downloads\\setup.exe"));
  EXPECT_FALSE(Indexed(L"C:\\Users\\bob\\Downloads\\old.txt"));
  EXPECT_EQ(Settles(), 1u);
  EXPECT_EQ(CountLines(L"[DOWNLOAD] "), 0);  // partial files are passed over silently
  EXPECT_EQ(standin::LastChangeBufferBytes(), kDownloadsBufferBytes);
}

TEST_F(DownloadsWatchTest, LaterNotificationsOfAnUnchangedFileOnlySkip) {
  PutFile(L"C:\\Users\\bob\\Downloads\\setup.exe", "MZ");
  standin::QueueFolderChanges(kDownloads, {{kChangeAdded, L"setup.exe"}, {kChangeModified, L"setup.exe"}});
  standin::QueueFolderChanges(kDownloads, {{kChangeModified, L"setup.exe"}});
  WatchDownloads();
  EXPECT_EQ(RunCounters.scanned.load(), 1u);
  EXPECT_EQ(RunCounters.skipped_unchanged.load(), 2u);
}

TEST_F(DownloadsWatchTest, SubFoldersCauseNoScan) {
  PutFile(L"C:\\Users\\bob\\Downloads\\sub\\inner.exe", "MZ");
  standin::QueueFolderChanges(kDownloads, {{kChangeModified, L"sub"}});
  WatchDownloads();
  EXPECT_EQ(RunCounters.scanned.load(), 0u);
  EXPECT_EQ(Settles(), 0u);
}

TEST_F(DownloadsWatchTest, BurstOfLongNamesFitsTheBuffer) {
  std::vector<std::pair<uint32_t, std::wstring>> burst;
  for (int i = 0; i < 50; ++i) {
    const std::wstring name = std::wstring(200, L'n') + std::to_wstring(i) + L".pdf";
    PutFile(std::wstring(kDownloads) + L"\\" + name, "%PDF-1.4");
    burst.push_back({kChangeAdded, name});
  }
  standin::QueueFolderChanges(kDownloads, burst);
  WatchDownloads();
  EXPECT_EQ(RunCounters.scanned.load(), 50u);

  // A burst beyond the buffer overflows into an empty wait: left to the next scan.
  RunCounters.scanned.store(0);
  std::vector<std::pair<uint32_t, std::wstring>> flood;
  for (int i = 0; i < 200; ++i) flood.push_back({kChangeAdded, std::wstring(200, L'f') + std::to_wstring(i)});
  standin::QueueFolderChanges(kDownloads, flood);
  standin::QueueFolderChanges(kDownloads, {{kChangeModified, burst[0].second}});
  PutFile(std::wstring(kDownloads) + L"\\" + burst[0].second, "%PDF-1.5 changed");
  WatchDownloads();
  EXPECT_EQ(RunCounters.scanned.load(), 1u);
}

TEST_F(DownloadsWatchTest, BusyMachineHoldsTheRecord) {
  PutFile(L"C:\\Users\\bob\\Downloads\\a.txt", "a");
  standin::QueueFolderChanges(kDownloads, {{kChangeAdded, L"a.txt"}});
  CpuPercent.store(90.0f);
  auto sleeps = std::make_shared<int>(0);
  standin::OnSleep([sleeps](uint64_t) {
    if (++*sleeps == 3) CpuPercent.store(10.0f);
  });
  WatchDownloads();
  EXPECT_EQ(standin::Sleeps(), (std::vector<uint64_t>{160, 160, 160, 400}));
  EXPECT_EQ(RunCounters.scanned.load(), 1u);
}

TEST_F(DownloadsWatchTest, FailingWaitsAreRetriedWithoutSpinning) {
  std::filesystem::create_directories(standin::HostPath(kDownloads));
  for (int i = 0; i < 3; ++i) standin::QueueFailedChangeWait(kDownloads);
  WatchDownloads();
  EXPECT_EQ(standin::Sleeps(), (std::vector<uint64_t>{1000, 1000}));  // the first retry is at once
}

TEST_F(DownloadsWatchTest, NoProfileEndsTheWatch) {
  standin::SetProfileFolder(L"");
  PutFile(L"C:\\Users\\bob\\Downloads\\a.txt", "a");
  standin::QueueFolderChanges(kDownloads, {{kChangeAdded, L"a.txt"}});
  WatchDownloads();
  EXPECT_EQ(RunCounters.scanned.load(), 0u);
}

// A miner that keeps the processor busy holds each record for 5 s, then it is scanned.
TEST_F(DownloadsWatchTest, BusyMachineHoldsARecordFiveSecondsAtMost) {
  PutFile(L"C:\\Users\\bob\\Downloads\\a.exe", "MZ");
  standin::QueueFolderChanges(kDownloads, {{kChangeAdded, L"a.exe"}});
  CpuPercent.store(95.0f);
  WatchDownloads();
  EXPECT_EQ(RunCounters.scanned.load(), 1u);
  EXPECT_TRUE(Logged(L"[DOWNLOAD] Machine still busy after 5 s \u2014 scanning anyway: C:\\Users\\bob\\Downloads\\a.exe"));
  uint64_t held = 0;
  for (const uint64_t sleep : standin::Sleeps()) held += sleep == 160 ? sleep : 0;
  EXPECT_GE(held, 5000u);
  EXPECT_LT(held, 5000u + 2 * 160u);
}

// Downloads deleted (or moved away) and made again: the watch opens the new folder
// and its downloads are scanned.
TEST_F(DownloadsWatchTest, FolderThatGoesAwayIsWatchedAgainWhenBack) {
  PutFile(L"C:\\Users\\bob\\Downloads\\before.exe", "MZ before");
  standin::QueueFolderChanges(kDownloads, {{kChangeAdded, L"before.exe"}});
  standin::QueueFolderGone(kDownloads);
  standin::QueueFolderChanges(kDownloads, {{kChangeAdded, L"after.exe"}});
  const std::string host = standin::HostPath(kDownloads);
  auto sleeps = std::make_shared<int>(0);
  // The first watch hands over before.exe; then the folder goes, and comes back with after.exe.
  standin::OnSleep([sleeps, host](uint64_t ms) {
    if (ms != 1000) return;
    ++*sleeps;
    if (*sleeps == 1) std::filesystem::remove_all(host);
    if (*sleeps == 3) {
      std::filesystem::create_directories(host);
      std::ofstream(host + "/after.exe") << "MZ after";
    }
  });
  WatchDownloads();
  EXPECT_TRUE(Indexed(L"C:\\Users\\bob\\Downloads\\before.exe"));
  EXPECT_TRUE(Indexed(L"C:\\Users\\bob\\Downloads\\after.exe"));
  EXPECT_EQ(*sleeps, 3);
  EXPECT_TRUE(Logged(L"[DOWNLOAD] Downloads folder went away \u2014 watching it again once it is back: " +
                     std::wstring(kDownloads)));
  EXPECT_TRUE(Logged(L"[DOWNLOAD] Downloads folder is back \u2014 watching it again: " + std::wstring(kDownloads)));
}

// A Downloads folder missing at start is watched once it is made.
TEST_F(DownloadsWatchTest, MissingFolderIsWatchedOnceMade) {
  const std::string host = standin::HostPath(kDownloads);
  std::filesystem::remove_all(host);
  standin::QueueFolderChanges(kDownloads, {{kChangeAdded, L"a.exe"}});
  auto sleeps = std::make_shared<int>(0);
  standin::OnSleep([sleeps, host](uint64_t ms) {
    if (ms == 1000 && ++*sleeps == 2) {
      std::filesystem::create_directories(host);
      std::ofstream(host + "/a.exe") << "MZ";
    }
  });
  WatchDownloads();
  EXPECT_TRUE(Indexed(L"C:\\Users\\bob\\Downloads\\a.exe"));
  EXPECT_TRUE(Logged(L"[DOWNLOAD] Downloads folder cannot be watched \u2014 trying again every second: " +
                     std::wstring(kDownloads)));
}

// Ends with the program, also while the folder is away.
TEST_F(DownloadsWatchTest, WaitForTheFolderEndsWithTheProgram) {
  std::filesystem::remove_all(standin::HostPath(kDownloads));
  StopAfterSleeps(4);
  WatchDownloads();
  EXPECT_EQ(standin::Sleeps(), (std::vector<uint64_t>{1000, 1000, 1000, 1000}));
}

TEST(ChangeRecordsTest, DecodingStaysInsideTheBuffer) {
  // Two records: "a" added, then "bc" renamed to; offsets as the platform lays them out.
  const unsigned char two[] = {16, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 'a', 0, 0, 0,
                               0,  0, 0, 0, 5, 0, 0, 0, 4, 0, 0, 0, 'b', 0, 'c', 0};
  const auto records = platform::DecodeChangeRecords(two, sizeof two);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].action, 1u);
  EXPECT_EQ(records[0].name, L"a");
  EXPECT_EQ(records[1].action, 5u);
  EXPECT_EQ(records[1].name, L"bc");

  EXPECT_EQ(platform::DecodeChangeRecords(two, 0).size(), 0u);  // an overflowed wait
  EXPECT_EQ(platform::DecodeChangeRecords(two, 13).size(), 0u);  // the name runs past the end
  EXPECT_EQ(platform::DecodeChangeRecords(two, 20).size(), 1u);  // the second header is cut off
  unsigned char runaway[sizeof two];
  std::copy(std::begin(two), std::end(two), runaway);
  runaway[0] = 0xF0;  // the next offset points far beyond the buffer
  EXPECT_EQ(platform::DecodeChangeRecords(runaway, sizeof runaway).size(), 1u);
}

}  // namespace
