#include "app/wide.h"
#include "engine/pe_analysis.h"
#include "pe_fixture.h"
#include "standin_fixture.h"

class PeAnalysisTest : public StandinTest {};

TEST_F(PeAnalysisTest, EntropyOfConstructedFiles) {
  EXPECT_DOUBLE_EQ(MeasureFileEntropy(PutFile(L"C:\\t\\mz.bin", "MZ")), 1.0);
  EXPECT_DOUBLE_EQ(MeasureFileEntropy(PutFile(L"C:\\t\\same.bin", std::string(5000, 'a'))), 0.0);
  EXPECT_DOUBLE_EQ(MeasureFileEntropy(PutFile(L"C:\\t\\empty.bin", "")), 0.0);
  EXPECT_DOUBLE_EQ(MeasureFileEntropy(L"C:\\t\\missing.bin"), 0.0);
  std::string all_bytes;
  for (int i = 0; i < 256 * 4; ++i) all_bytes.push_back(static_cast<char>(i & 0xFF));
  EXPECT_NEAR(MeasureFileEntropy(PutFile(L"C:\\t\\uniform.bin", all_bytes)), 8.0, 1e-12);
  // Only the first MiB counts: random bytes followed by 3 MiB of zeros still read about 8.
  const std::string mixed = RandomBytes(1048576) + std::string(3 * 1048576, '\0');
  EXPECT_GT(MeasureFileEntropy(PutFile(L"C:\\t\\mixed.bin", mixed)), 7.99);
}

TEST_F(PeAnalysisTest, SectionWalk) {
  const struct {
    const char* what;
    std::string bytes;
    bool rwx;
  } cases[] = {
      {"rwx section with another name", BuildPe({{".text", kExecute | kRead}, {".evil", kExecute | kWrite | kRead}}),
       true},
      {"rwx named .text", BuildPe({{".text", kExecute | kWrite | kRead}}), false},
      {"rwx named .clr", BuildPe({{".clr", kExecute | kWrite}}), false},
      {".text after other characters", BuildPe({{"ab.text", kExecute | kWrite}}), false},
      {".text hidden behind a zero byte", BuildPe({{std::string("x\0.text", 7), kExecute | kWrite}}), false},
      {"executable and writable, not readable", BuildPe({{"UPX0", kExecute | kWrite}}), true},
      {"writable only", BuildPe({{".data", kWrite | kRead}}), false},
      {"negative header offset", BuildPe({{".evil", kExecute | kWrite}}, 1024, 0x80000000u), false},
      {"header within 264 bytes of the end", BuildPe({{".evil", kExecute | kWrite}}, 400, 0x90, 0), false},
      {"section table past the end", BuildPe({{".a", 0}, {".evil", kExecute | kWrite}}, 0x80 + 24 + 0xF0 + 60), false},
      {"shorter than 64 bytes", std::string("MZ"), false},
      {"not MZ", std::string(1024, 'x'), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(HasRwxSection(reinterpret_cast<const unsigned char*>(c.bytes.data()), c.bytes.size()), c.rwx);
  }
}

TEST_F(PeAnalysisTest, AnalysisTexts) {
  const std::wstring packed = PutFile(L"C:\\Users\\bob\\Downloads\\packed.exe",
                                      BuildPe({{".evil", kExecute | kWrite}}) + RandomBytes(1048576));
  HeuristicResult record = AnalyzeFile(packed);
  EXPECT_TRUE(record.suspicious);
  EXPECT_FALSE(record.flagged);
  EXPECT_EQ(record.score, 0);
  EXPECT_GT(record.entropy, 7.92);
  EXPECT_EQ(record.reason, L"Unusual PE Section contains RWX attributes");  // replaces the entropy text
  char figure[32];
  std::snprintf(figure, sizeof figure, "%f", record.entropy);
  EXPECT_EQ(record.detail, L"Behavior: High entropy stream (" + WidenBytes(figure) + L") detected.");

  record = AnalyzeFile(PutFile(L"C:\\Users\\bob\\Downloads\\random.bin", RandomBytes(200000)));
  EXPECT_EQ(record.reason, L"Very High Entropy Payload (Packed/Encrypted Data)");

  record = AnalyzeFile(PutFile(L"C:\\Users\\bob\\notes.txt", "hello"));
  EXPECT_FALSE(record.suspicious);
  EXPECT_EQ(record.reason, L"Clean File");
  EXPECT_EQ(record.detail, L"No malicious execution triggers found.");
  EXPECT_GT(record.entropy, 0.0);
}

TEST_F(PeAnalysisTest, TrustedTreesAreSkippedCaseSensitively) {
  const std::string bytes = BuildPe({{".evil", kExecute | kWrite}}) + RandomBytes(100000);
  HeuristicResult record = AnalyzeFile(PutFile(L"C:\\Windows\\System32\\x.exe", bytes));
  EXPECT_EQ(record.reason, L"Clean File");
  EXPECT_EQ(record.entropy, 0.0);
  record = AnalyzeFile(PutFile(L"C:\\windows\\system32\\y.exe", bytes));
  EXPECT_EQ(record.reason, L"Unusual PE Section contains RWX attributes");
}

TEST_F(PeAnalysisTest, ThirtyTwoMebibytesIsTheLimit) {
  const std::wstring exact = PutFile(L"C:\\t\\exact.bin", std::string(33554432, 'a'));
  EXPECT_EQ(AnalyzeFile(exact).reason, L"Clean File");
  const std::wstring over = PutFile(L"C:\\t\\over.bin", std::string(33554433, 'a'));
  HeuristicResult record = AnalyzeFile(over);
  EXPECT_EQ(record.reason, L"Skipped heavy file (>32MB)");
  EXPECT_EQ(record.entropy, 0.0);
}

TEST_F(PeAnalysisTest, IncompleteFilesKeepTheFreshRecord) {
  const HeuristicResult record = AnalyzeFile(PutFile(L"C:\\t\\setup.exe.crdownload", RandomBytes(5000)));
  EXPECT_EQ(record.reason, L"Clean File");
  EXPECT_EQ(record.entropy, 0.0);
}

TEST_F(PeAnalysisTest, SignatureNeedsAPathAndThePlatformsWord) {
  EXPECT_FALSE(HasValidSignature(L""));
  EXPECT_FALSE(HasValidSignature(L"C:\\a.exe"));
  standin::MarkSigned(L"C:\\a.exe");
  EXPECT_TRUE(HasValidSignature(L"C:\\a.exe"));
}
