#include "app/text_file.h"
#include "standin_fixture.h"

using ActivityLogTest = StandinTest;

TEST_F(ActivityLogTest, KeepsTheLastFiftyLinesInOrder) {
  for (int i = 1; i <= 50; ++i) AppendActivity(L"[SCAN] " + std::to_wstring(i));
  EXPECT_EQ(ActivityLines().front(), L"[SCAN] 1");
  AppendActivity(L"[SCAN] 51");  // the 51st drops the first
  EXPECT_EQ(ActivityLines().front(), L"[SCAN] 2");

  for (int i = 52; i <= 120; ++i) AppendActivity(L"[SCAN] " + std::to_wstring(i));
  const auto lines = ActivityLines();
  ASSERT_EQ(lines.size(), 50u);
  for (int i = 0; i < 50; ++i) EXPECT_EQ(lines[i], L"[SCAN] " + std::to_wstring(71 + i));
  // Every line also went to the debug channel, uncapped.
  EXPECT_EQ(standin::DebugLines().size(), 120u);
}

TEST_F(ActivityLogTest, StatusUpdateSetsBothValuesThenLogsTheSentence) {
  EXPECT_EQ(StatusText, L"System fully protected.");
  UpdateStatus(L"Threat isolated.", L"C:\\Users\\bob\\Downloads\\a.exe");
  {
    std::lock_guard<std::mutex> hold(UiStateLock);
    EXPECT_EQ(StatusText, L"Threat isolated.");
    EXPECT_EQ(ActiveTarget, L"C:\\Users\\bob\\Downloads\\a.exe");
  }
  EXPECT_EQ(ActivityLines(), std::vector<std::wstring>{L"Threat isolated."});
}

// A Run value or file named "x\r\n[QUARANTINE] ..." must not add a line of its own.
TEST_F(ActivityLogTest, ControlCharactersInANameCannotForgeALine) {
  AppendActivity(L"[REGISTRY] HKCU Run 'a\r\n[SYSTEM] All clean\u2028b\tc'");
  const auto lines = ActivityLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], L"[REGISTRY] HKCU Run 'a  [SYSTEM] All clean b c'");
}

TEST(TextFileTest, LineEndsAreCrLfOnDisk) {
  const struct {
    const char* text;
    const char* disk;
  } cases[] = {
      {"", ""},
      {"scanned=1\n", "scanned=1\r\n"},
      {"a\nb\n\nc", "a\r\nb\r\n\r\nc"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ToCrLf(c.text), c.disk);
    EXPECT_EQ(FromCrLf(c.disk), c.text);
  }
  EXPECT_EQ(FromCrLf("lone\rcr"), "lone\rcr");
}
