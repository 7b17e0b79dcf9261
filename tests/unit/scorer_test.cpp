#include "engine/hash_lists.h"
#include "engine/path_classes.h"
#include "engine/scorer.h"
#include "pe_fixture.h"
#include "standin_fixture.h"

class ScorerTest : public StandinTest {
 protected:
  struct Scored {
    bool quarantine;
    ScoreOutcome outcome;
    HeuristicResult record;
  };
  Scored Score(const std::wstring& path) {
    Scored s{};
    s.outcome = ScoreFileOutcome(path, s.record);
    HeuristicResult again;
    s.quarantine = ScoreFile(path, again);
    return s;
  }
  const std::string packed_ = BuildPe({{".evil", kExecute | kWrite}}) + RandomBytes(1048576);
};

TEST_F(ScorerTest, RulesAndTags) {
  const struct {
    const wchar_t* path;
    int score;
    const wchar_t* reason;  // for 0 to 2 the analysis text stays
  } cases[] = {
      {L"C:\\Users\\bob\\Downloads\\invoice.pdf.exe", 5,
       L"Heuristic review score=5 (Backend AI allowed user-writable-path dropped-binary double-extension )"},
      {L"C:\\Users\\bob\\Documents\\holiday.jpg.exe", 2, L"Clean File"},
      {L"C:\\Users\\bob\\Documents\\report.pdf", 0, L"Clean File"},
      {L"C:\\Users\\bob\\Documents\\readme-decrypt.txt", 2, L"Clean File"},
      {L"C:\\Users\\bob\\Documents\\cv.doc.exe_readme_ransom.txt", 4,
       L"Heuristic review score=4 (Backend AI allowed double-extension ransom-note )"},
      {L"C:\\Users\\bob\\Downloads\\script.js", 4,
       L"Heuristic review score=4 (Backend AI allowed user-writable-path script-drop )"},
      {L"C:\\Tools\\script.ps1", 0, L"Clean File"},
      {L"C:\\usb\\autorun.inf", 2, L"Clean File"},
      {L"C:\\Windows\\System32\\autorun.inf", 0, L"Clean File"},
      {L"C:\\Tools\\keylogger-stalker.exe", 3, L"Heuristic review score=3 (Backend AI allowed stalkerware )"},
      {L"C:\\Tools\\SpySetup.exe", 3, L"Heuristic review score=3 (Backend AI allowed stalkerware )"},
      {L"C:\\Tools\\gold-miner-setup.exe", 3, L"Heuristic review score=3 (Backend AI allowed crypto-threat )"},
      {L"C:\\Tools\\coupon-adware.exe", 2, L"Clean File"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::string(c.path, c.path + wcslen(c.path)));
    PutFile(c.path, "x");
    HeuristicResult record;
    ScoreFileOutcome(c.path, record);
    EXPECT_EQ(record.score, c.score);
    EXPECT_EQ(record.reason, c.reason);
  }
}

TEST_F(ScorerTest, ScriptInARunValueCountsOutsideUserFolders) {
  const std::wstring script = PutFile(L"C:\\Tools\\job.vbs", "x");
  standin::SetRegistryString(platform::RegistryHive::CurrentUser, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                             L"job", L"wscript.exe C:\\Tools\\job.vbs");
  HeuristicResult record;
  ScoreFileOutcome(script, record);
  EXPECT_EQ(record.score, 2);
}

TEST(EntropyRuleTest, ThresholdsAreStrict) {
  const struct {
    double entropy;
    int points;
  } cases[] = {{8.0, 3}, {7.9200001, 3}, {7.92, 2}, {7.5000001, 2}, {7.5, 0}, {0.0, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.entropy);
    EXPECT_EQ(EntropyRulePoints(c.entropy), c.points);
  }
}

TEST_F(ScorerTest, OutcomesByScore) {
  // An executable in Downloads with high entropy and an RWX section: 3 + 3 + 2 + 1 = 9.
  const std::wstring in_downloads = PutFile(L"C:\\Users\\bob\\Downloads\\setup.exe", packed_);
  Scored s = Score(in_downloads);
  EXPECT_EQ(s.outcome, ScoreOutcome::Quarantine);
  EXPECT_TRUE(s.quarantine);
  EXPECT_TRUE(s.record.flagged);
  EXPECT_EQ(s.record.score, 9);
  EXPECT_EQ(s.record.reason, L"Heuristic score=9 (Backend AI allowed high-entropy rwx-section user-writable-path "
                             L"dropped-binary )");

  // The same bytes in a system location: the same 9 gives review only.
  standin::MapDrive(L'D', (drive_c_ / "D").string());
  const std::wstring system_place = PutFile(L"D:\\Program Files\\Downloads\\setup.exe", packed_);
  s = Score(system_place);
  EXPECT_EQ(s.outcome, ScoreOutcome::Review);
  EXPECT_FALSE(s.quarantine);
  EXPECT_EQ(s.record.score, 9);
  EXPECT_EQ(s.record.reason, L"Heuristic review score=9 (System protected file high-entropy rwx-section "
                             L"user-writable-path dropped-binary )");

  // 7: warning, never a quarantine.
  s = Score(PutFile(L"C:\\Users\\bob\\Downloads\\gold-miner.js", "x"));
  EXPECT_EQ(s.outcome, ScoreOutcome::Warning);
  EXPECT_FALSE(s.quarantine);
  EXPECT_TRUE(s.record.suspicious);
  EXPECT_EQ(s.record.reason, L"Warning only score=7 (Backend AI allowed user-writable-path script-drop crypto-threat )");

  // 6 and 8 at the edges.
  s = Score(PutFile(L"C:\\Users\\bob\\Downloads\\stalker.bat", "x"));  // 2 + 2 + 3 = 7
  EXPECT_EQ(s.record.score, 7);
  s = Score(PutFile(L"C:\\Users\\bob\\Downloads\\adware.bat", "x"));  // 2 + 2 + 2 = 6
  EXPECT_EQ(s.outcome, ScoreOutcome::Warning);
  s = Score(PutFile(L"C:\\Users\\bob\\Downloads\\miner.pdf.exe", "x"));  // 2 + 1 + 2 + 3 = 8
  EXPECT_EQ(s.outcome, ScoreOutcome::Quarantine);
  EXPECT_EQ(s.record.score, 8);

  // More than 10 is stored as 10.
  s = Score(PutFile(L"C:\\Users\\bob\\Downloads\\xmrig-keylog-adware.pdf.exe", packed_));
  EXPECT_EQ(s.record.score, 10);
  EXPECT_EQ(s.outcome, ScoreOutcome::Quarantine);

  // 0 to 2: the analysis texts stay.
  s = Score(PutFile(L"C:\\Users\\bob\\Documents\\letter.txt", "Dear Sir"));
  EXPECT_EQ(s.outcome, ScoreOutcome::None);
  EXPECT_EQ(s.record.reason, L"Clean File");
  EXPECT_EQ(s.record.detail, L"No malicious execution triggers found.");
  EXPECT_EQ(s.record.score, 0);
}

TEST_F(ScorerTest, BadHashStartsAtNine) {
  ReplaceBadHashes({L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"});
  Scored s = Score(PutFile(L"C:\\Data\\abc.bin", "abc"));
  EXPECT_TRUE(s.quarantine);
  EXPECT_EQ(s.record.reason, L"Heuristic score=9 (Local bad-hash match )");
  s = Score(PutFile(L"C:\\Users\\bob\\Downloads\\abc.bin", "abc"));
  EXPECT_EQ(s.record.reason, L"Heuristic score=10 (Local bad-hash match user-writable-path )");
}

TEST_F(ScorerTest, EntropyBoundaries) {
  // Files whose entropy is exactly a threshold: 2^k equally frequent byte values give k bits.
  const auto uniform_over = [](int values) {
    std::string bytes;
    for (int i = 0; i < values * 16; ++i) bytes.push_back(static_cast<char>(i % values));
    return bytes;
  };
  HeuristicResult record;
  ScoreFileOutcome(PutFile(L"C:\\Data\\seven.bin", uniform_over(128)), record);  // 7.0: nothing
  EXPECT_EQ(record.score, 0);
  EXPECT_DOUBLE_EQ(record.entropy, 7.0);
  ScoreFileOutcome(PutFile(L"C:\\Data\\eight.bin", uniform_over(256)), record);  // 8.0: +3
  EXPECT_EQ(record.score, 3);
  EXPECT_EQ(record.reason, L"Heuristic review score=3 (Backend AI allowed high-entropy )");
}

TEST_F(ScorerTest, PhishingPage) {
  std::string lines40;
  for (int i = 0; i < 40; ++i) lines40 += "filler line\r\n";
  const struct {
    const char* what;
    std::string page;
    bool phishing;
  } cases[] = {
      {"capitals", "<H1>LOGIN</H1>\r\nPASSWORD: <a href=HTTPS://x>", true},
      {"verify instead of login", "verify your password at http://x", true},
      {"words split over lines join without separator", "pass\r\nword login http", true},
      {"no http", "password login", false},
      {"password only in line 41", lines40 + "password login http\r\n", false},
      {"password in line 40", lines40.substr(0, lines40.size() - 13) + "password login http\r\n", true},
      // Padding cannot push the words out: each line keeps its first 64 KiB and the
      // check reads on to the next line.
      {"a 70 KiB first line, the words on line 2", std::string(70 << 10, ' ') + "\r\npassword login http://x\r\n",
       true},
      {"the words past the first 64 KiB of their line", std::string(70 << 10, ' ') + "password login http://x\r\n",
       false},
      {"the words past the first 4 MiB of the page", std::string(5 << 20, ' ') + "\r\npassword login http://x\r\n",
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    HeuristicResult record;
    ScoreFileOutcome(PutFile(L"C:\\Data\\page.html", c.page), record);
    EXPECT_EQ(record.score, c.phishing ? 2 : 0);
  }
  // Only for pages: the same text in a .txt adds nothing.
  HeuristicResult record;
  ScoreFileOutcome(PutFile(L"C:\\Data\\page.txt", "password login http"), record);
  EXPECT_EQ(record.score, 0);
}
