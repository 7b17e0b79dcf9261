#include "app/wide.h"
#include "engine/hash_lists.h"
#include "engine/path_classes.h"
#include "engine/verdict.h"
#include "standin_fixture.h"

class VerdictTest : public StandinTest {
 protected:
  void SetUp() override {
    StandinTest::SetUp();
    file_ = PutFile(L"C:\\Users\\bob\\Downloads\\tool.exe", "abc");
  }
  std::wstring file_;
  const std::wstring abc_ = L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
};

TEST_F(VerdictTest, ChecksInOrder) {
  ReplaceBadHashes({abc_});
  const std::wstring system_copy = PutFile(L"C:\\Program Files\\App\\tool.exe", "abc");
  HeuristicResult record = Verdict(system_copy);
  EXPECT_EQ(record.reason, L"System protected file");  // never a bad-hash match there
  EXPECT_FALSE(record.flagged);

  record = Verdict(file_);
  EXPECT_EQ(record.reason, L"Local bad-hash match");
  EXPECT_TRUE(record.flagged);
  EXPECT_EQ(record.score, 90);

  standin::MarkSigned(file_);  // a signature never excuses a bad hash
  EXPECT_EQ(Verdict(file_).reason, L"Local bad-hash match");

  AddSafeHash(abc_);  // but the user's word does
  record = Verdict(file_);
  EXPECT_EQ(record.reason, L"Backend AI allowed");
  EXPECT_FALSE(record.flagged);
  EXPECT_EQ(record.score, 0);
}

TEST_F(VerdictTest, UnknownFilesAreAllowedUntilMoreThanFiftyIntegrityEvents) {
  EXPECT_EQ(Verdict(file_).reason, L"Backend AI allowed");
  IntegrityEventCount = 50;
  EXPECT_EQ(Verdict(file_).reason, L"Backend AI allowed");
  IntegrityEventCount = 51;
  EXPECT_EQ(Verdict(file_).reason, L"Clean file/process");
  standin::MarkSigned(file_);
  EXPECT_EQ(Verdict(file_).reason, L"Backend AI allowed");
}

TEST_F(VerdictTest, KnownGoodProducts) {
  EXPECT_TRUE(IsKnownGoodProduct(L"D:\\anywhere\\TEAMS.EXE"));
  EXPECT_TRUE(IsKnownGoodProduct(L"C:\\Users\\x\\AppData\\Roaming\\Microsoft\\tool.exe"));
  EXPECT_TRUE(IsKnownGoodProduct(L"C:\\Games\\TeamSpeak\\ts.exe"));  // "\teams" has no closing separator
  EXPECT_FALSE(IsKnownGoodProduct(L"C:\\Users\\x\\Downloads\\setup-for-teams.exe"));
}

TEST_F(VerdictTest, TrustClassification) {
  const struct {
    const char* what;
    std::wstring path;
    bool safe;
    int events;
    const wchar_t* label;
    int score;
  } cases[] = {
      {"known product", L"C:\\x\\outlook.exe", false, 0, L"Known good product (Office/Teams/Windows)", 0},
      {"windows folder", L"C:\\Windows\\Temp\\x.exe", false, 0, L"Microsoft certified application", 0},
      {"unknown", L"C:\\x\\y.exe", false, 0, L"Clean file/process", 0},
      {"unknown after two events", L"C:\\x\\y.exe", false, 2, L"Clean file/process", 40},
      {"safe-listed", L"C:\\x\\y.exe", true, 0, L"Clean file/process", 0},
      {"safe-listed after two events", L"C:\\x\\y.exe", true, 2, L"Clean file/process", 10},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ResetHashListsForTest();
    if (c.safe) AddSafeHash(abc_);
    IntegrityEventCount = c.events;
    const TrustClass trust = ClassifyTrust(c.path, abc_);
    EXPECT_EQ(trust.label, c.label);
    EXPECT_EQ(trust.trustScore, c.score);
    EXPECT_FALSE(trust.highRisk);
    EXPECT_FALSE(trust.needsReview);
  }
  standin::MarkSigned(L"C:\\x\\signed.exe");
  EXPECT_EQ(ClassifyTrust(L"C:\\x\\signed.exe", L"").label, L"Valid digital signature");
}

TEST_F(VerdictTest, CriticalProcessNamesAreExact) {
  EXPECT_EQ(CriticalProcessNames.size(), 12u);
  EXPECT_EQ(CriticalProcessNames.count(L"lsass.exe"), 1u);
  EXPECT_EQ(CriticalProcessNames.count(ToLowerAscii(std::wstring_view(L"Xorg"))), 0u);
  EXPECT_EQ(CriticalProcessNames.count(L"LSASS.EXE"), 0u);
}
