#include "engine/scan_index.h"
#include "standin_fixture.h"

TEST(ScanIndexLineTest, Lines) {
  const struct {
    const char* line;
    bool valid;
    uint64_t time, size;
    const wchar_t* path;
  } cases[] = {
      {"C:\\a.exe\t4096\t100", true, 4096, 100, L"C:\\a.exe"},
      {"C:\\a.exe\t4096\tx100", false, 0, 0, L""},
      {"C:\\a.exe\t4096", false, 0, 0, L""},
      {"x.exe\t1\t2\tmore", true, 1, 2, L"x.exe"},  // conversion stops at the TAB
      {"\t 7\t+8", true, 7, 8, L""},                 // empty path, blank and sign accepted
      {"y\t-1\t3", true, UINT64_MAX, 3, L"y"},       // a minus sign wraps
      {"y\t18446744073709551615\t3", true, UINT64_MAX, 3, L"y"},
      {"y\t18446744073709551616\t3", false, 0, 0, L""},  // out of range
      {"y\t\t3", false, 0, 0, L""},
      {"", false, 0, 0, L""},
      {"C:\\caf\xC3\xA9.exe\t1\t2", true, 1, 2, L"C:\\caf\u00E9.exe"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const auto entry = ParseScanIndexLine(c.line);
    ASSERT_EQ(entry.has_value(), c.valid);
    if (!c.valid) continue;
    EXPECT_EQ(entry->first, c.path);
    EXPECT_EQ(entry->second.last_write_time, c.time);
    EXPECT_EQ(entry->second.size, c.size);
  }
}

class ScanIndexTest : public StandinTest {
 protected:
  void SetUp() override {
    StandinTest::SetUp();
    ScanIndexPath = L"C:\\KestruneAV\\scan-index.dat";
    std::filesystem::create_directories(drive_c_ / "KestruneAV");
  }
};

TEST_F(ScanIndexTest, LoadSkipsBadLinesAndLaterLinesWin) {
  PutFile(ScanIndexPath, "C:\\a.exe\t1\t2\r\nbroken line\r\nC:\\b.exe\tx\t1\r\nC:\\a.exe\t3\t4\r\n\r\nC:\\c.exe\t5\t6");
  {
    std::lock_guard<std::mutex> hold(ScanIndexLock);
    ScanIndex[L"C:\\old.exe"] = {9, 9};
  }
  LoadScanIndex();
  std::lock_guard<std::mutex> hold(ScanIndexLock);
  EXPECT_EQ(ScanIndex.size(), 2u);
  EXPECT_EQ(ScanIndex[L"C:\\a.exe"], (FileStamp{3, 4}));
  EXPECT_EQ(ScanIndex[L"C:\\c.exe"], (FileStamp{5, 6}));
}

TEST_F(ScanIndexTest, MissingFileLeavesTheMapAlone) {
  {
    std::lock_guard<std::mutex> hold(ScanIndexLock);
    ScanIndex[L"C:\\kept.exe"] = {1, 1};
  }
  LoadScanIndex();
  std::lock_guard<std::mutex> hold(ScanIndexLock);
  EXPECT_EQ(ScanIndex.size(), 1u);
}

TEST_F(ScanIndexTest, BoundsAtTwentyThousandAndOne) {
  std::string text;
  for (int i = 0; i < 25000; ++i) text += "C:\\f" + std::to_string(i) + "\t1\t2\n";
  PutFile(ScanIndexPath, text);
  LoadScanIndex();
  {
    std::lock_guard<std::mutex> hold(ScanIndexLock);
    EXPECT_EQ(ScanIndex.size(), 20001u);
    for (int i = 20001; i < 25000; ++i) ScanIndex[L"C:\\g" + std::to_wstring(i)] = {1, 2};
  }
  SaveScanIndex();
  const std::string saved = HostBytes(ScanIndexPath);
  EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'), 20001);
}

TEST_F(ScanIndexTest, SaveAndLoadRoundTrip) {
  {
    std::lock_guard<std::mutex> hold(ScanIndexLock);
    ScanIndex[L"C:\\Users\\bob\\caf\u00E9.exe"] = {133000000000000000ull, 5000000000ull};
  }
  SaveScanIndex();
  EXPECT_EQ(HostBytes(ScanIndexPath), "C:\\Users\\bob\\caf\xC3\xA9.exe\t133000000000000000\t5000000000\r\n");
  {
    std::lock_guard<std::mutex> hold(ScanIndexLock);
    ScanIndex.clear();
  }
  LoadScanIndex();
  std::lock_guard<std::mutex> hold(ScanIndexLock);
  EXPECT_EQ(ScanIndex[L"C:\\Users\\bob\\caf\u00E9.exe"], (FileStamp{133000000000000000ull, 5000000000ull}));
}

TEST_F(ScanIndexTest, EmptyMapWritesAnEmptyFileAndNoPathWritesNothing) {
  PutFile(ScanIndexPath, "old");
  SaveScanIndex();
  EXPECT_EQ(HostBytes(ScanIndexPath), "");
  ScanIndexPath.clear();
  SaveScanIndex();
  LoadScanIndex();
}
