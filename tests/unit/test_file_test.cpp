// The industry's anti-malware test file gets a verdict of its own and is quarantined.
#include "engine/scorer.h"
#include "engine/test_file.h"
#include "response/threat_manager.h"
#include "scan/file_scan.h"
#include "scan_fixture.h"

class TestFileTest : public ScanTest {
 protected:
  void SetUp() override {
    ScanTest::SetUp();
    ResetThreatManagerForTest();
  }
};

TEST_F(TestFileTest, TheStringIsTheKnownSixtyEightBytes) {
  EXPECT_EQ(AntiMalwareTestString().size(), 68u);
  // The published SHA-256 of the bare test file.
  EXPECT_EQ(ComputeFileSha256(PutFile(L"C:\\probe.com", AntiMalwareTestString())),
            L"275a021bbfb6489e54d471899f7db9d1663fc695ec2fe2a2c4538aabf651fd0f");
}

TEST_F(TestFileTest, OnlyTheStringWithItsAllowedPaddingCounts) {
  const std::string test = AntiMalwareTestString();
  const struct {
    const char* what;
    std::string bytes;
    bool counts;
  } cases[] = {
      {"exact", test, true},
      {"with CR LF", test + "\r\n", true},
      {"with blanks, tab and Ctrl-Z", test + "  \t\x1a\n", true},
      {"padded to 128 bytes", test + std::string(128 - test.size(), ' '), true},
      {"padded to 129 bytes", test + std::string(129 - test.size(), ' '), false},
      {"other bytes after it", test + "\r\nhello", false},
      {"a blank before it", " " + test, false},
      {"cut short", test.substr(0, 67), false},
      {"empty", "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(IsAntiMalwareTestFile(c.bytes), c.counts);
    const std::wstring path = PutFile(std::wstring(kDownloads) + L"\\eicar.com", c.bytes);
    HeuristicResult record;
    const ScoreOutcome outcome = ScoreFileOutcome(path, record);
    EXPECT_EQ(outcome == ScoreOutcome::Quarantine && record.reason == kTestFileReason, c.counts);
    if (c.counts) EXPECT_EQ(record.score, 10);
  }
}

TEST_F(TestFileTest, InASystemFolderItIsLeftToTheOrdinaryRules) {
  // SysWOW64 is read like any folder, so only the system-folder rule keeps the verdict away.
  const std::wstring path = PutFile(L"C:\\Windows\\SysWOW64\\eicar.txt", AntiMalwareTestString());
  HeuristicResult record;
  ScoreFileOutcome(path, record);
  EXPECT_NE(record.reason, kTestFileReason);
  EXPECT_FALSE(record.flagged);
}

TEST_F(TestFileTest, ADownloadedTestFileIsQuarantinedLikeAnyThreat) {
  const std::wstring path = PutFile(std::wstring(kDownloads) + L"\\eicar.com.txt", AntiMalwareTestString() + "\r\n");
  ScanFile(path);
  AppRunning.store(false);
  IsolationWorkerJob();
  AppRunning.store(true);
  EXPECT_TRUE(Logged(std::wstring(L"[AI] Manager taking over: ") + kTestFileReason));
  EXPECT_FALSE(std::filesystem::exists(standin::HostPath(path)));
  EXPECT_TRUE(std::filesystem::exists(standin::HostPath(L"C:\\KestruneAV\\Quarantine\\eicar.com.txt")));
}
