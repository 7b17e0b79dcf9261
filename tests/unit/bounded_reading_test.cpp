// Every reader of untrusted bytes stops at a bound, keeps what it read, and a fault
// in one start-up load leaves the others done.
#include "app/text_file.h"
#include "app/wide.h"
#include "engine/scorer.h"
#include "scan_fixture.h"

class BoundedReadingTest : public ScanTest {};

TEST_F(BoundedReadingTest, PrefixReaderKeepsWholeLinesWithinItsBound) {
  const struct {
    const char* what;
    std::string bytes;
    std::size_t bound;
    std::string text;
    bool cut;
  } cases[] = {
      {"shorter", "a\r\nb\r\n", 16, "a\nb\n", false},
      {"exactly at the bound", "a\r\nb\r\n", 6, "a\nb\n", false},
      {"past the bound: the cut line goes", "a\r\nbbbb\r\n", 6, "a\n", true},
      {"one long line past the bound", std::string(100, 'x'), 10, "", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    PutFile(L"C:\\list.txt", c.bytes);
    std::string text;
    bool cut = false;
    ASSERT_TRUE(ReadTextFilePrefix(L"C:\\list.txt", c.bound, text, cut));
    EXPECT_EQ(text, c.text);
    EXPECT_EQ(cut, c.cut);
  }
  std::string text;
  bool cut = false;
  EXPECT_FALSE(ReadTextFilePrefix(L"C:\\missing.txt", 10, text, cut));
}

TEST_F(BoundedReadingTest, OversizedSafeListLoadsItsFirstEntriesOnly) {
  const std::string line = std::string(64, 'a') + "\r\n";
  std::string big;
  const std::size_t lines = kSafeHashListBytes / line.size() + 1000;
  big.reserve(lines * line.size());
  for (std::size_t i = 0; i < lines; ++i) {
    std::string entry = line;
    const std::string number = std::to_string(i);
    entry.replace(0, number.size(), number);
    big += entry;
  }
  PutFile(SafeHashesPath, big);
  ResetHashListsForTest();
  LoadSafeHashes(SafeHashesPath);
  EXPECT_TRUE(IsSafeHash(WidenBytes(std::string("0") + std::string(63, 'a'))));
  const std::string last_kept = std::to_string(kSafeHashListBytes / line.size() - 1);
  EXPECT_TRUE(IsSafeHash(WidenBytes(last_kept + std::string(64 - last_kept.size(), 'a'))));
  const std::string beyond = std::to_string(lines - 1);
  EXPECT_FALSE(IsSafeHash(WidenBytes(beyond + std::string(64 - beyond.size(), 'a'))));
}

TEST_F(BoundedReadingTest, APageOfOneHugeLineIsReadOnlyToThePageBound) {
  std::string page = "<html>login password http://phish.example verify";
  page += std::string(8u << 20, 'x');  // 8 MiB with no line break
  const std::wstring path = PutFile(std::wstring(kDownloads) + L"\\offer.html", page);
  HeuristicResult record;
  ScoreFileOutcome(path, record);
  EXPECT_NE(record.reason.find(L"phishing-page"), std::wstring::npos);
  // The page check stops at its bound, within the read chunk that crosses it.
  EXPECT_LE(standin::BytesReadOf(path), kPageReadLimit + (512u << 10));

  PageHeadReader reader;
  EXPECT_TRUE(reader.Add(std::string(kPageLineLimit + 10, 'y')));  // read past, not kept
  EXPECT_FALSE(reader.Add(std::string(kPageReadLimit, 'y')));
  EXPECT_EQ(reader.Finish().size(), kPageLineLimit);
}

TEST_F(BoundedReadingTest, AFaultInOneStartUpLoadLeavesTheOthersDone) {
  ResetDataPathsForTest();
  ResetActivityState();
  PutFile(L"C:\\KestruneAV\\terms_accepted.txt", "yes");
  standin::FailPath(L"C:\\KestruneAV\\engine.marker", 5);  // the backup refresh cannot test the marker
  InitPaths();
  const auto lines = ActivityLines();
  EXPECT_EQ(CountLines(L"[FAULT] init-paths recovered: "), 1);
  EXPECT_TRUE(Logged(L"[SYSTEM] Detection core online. Quarantine=C:\\KestruneAV\\Quarantine"));
  EXPECT_FALSE(TermsPending.load());
  EXPECT_EQ(TelemetryPath, L"C:\\KestruneAV\\telemetry.txt");
  EXPECT_EQ(CountLines(L"[ENGINE] Heuristic scan plus "), 1);
}
