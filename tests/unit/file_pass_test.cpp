// The engine reads a file once: the analyses work on bytes in any chunking, and the
// judgement of one file opens it once and reads no more than its parts need.
#include "app/wide.h"
#include "engine/file_pass.h"
#include "engine/hash_lists.h"
#include "engine/pe_analysis.h"
#include "engine/scorer.h"
#include "scan/file_scan.h"
#include "scan_fixture.h"

namespace {
constexpr std::size_t kMiB = 1048576;

// The bytes handed over in pieces of the given size, as a pass would hand them.
template <typename Feed>
void InPieces(const std::string& bytes, std::size_t piece, Feed feed) {
  for (std::size_t at = 0; at < bytes.size(); at += piece) {
    if (!feed(std::string_view(bytes).substr(at, piece))) return;
  }
}
}  // namespace

class FilePassTest : public ScanTest {};

TEST_F(FilePassTest, EntropyOfTheFirstMebibyteInAnyChunking) {
  const std::string short_head = RandomBytes(300000) + std::string(100000, 'a');
  const std::string long_file = RandomBytes(kMiB) + std::string(2 * kMiB, '\0');
  for (const std::string* bytes : {&short_head, &long_file}) {
    const double whole = EntropyOfHead(*bytes);
    for (const std::size_t piece : {std::size_t{1000}, std::size_t{65536}, kMiB - 1, 3 * kMiB}) {
      SCOPED_TRACE(piece);
      EntropyTally tally;
      InPieces(*bytes, piece, [&](std::string_view chunk) { return tally.Add(chunk) || true; });
      EXPECT_EQ(tally.total, std::min<uint64_t>(bytes->size(), kMiB));
      EXPECT_NEAR(tally.Entropy(), whole, 1e-9);
    }
  }
  EXPECT_GT(EntropyOfHead(long_file), 7.99);  // only the first MiB counts
}

TEST_F(FilePassTest, PageLinesAcrossChunkBoundaries) {
  std::string page = "<HTML>\r\nPlease VERIFY\rnow\r\n";  // a lone CR is a character of its line
  for (int i = 3; i <= 39; ++i) page += "line " + std::to_string(i) + "\n";
  page += "Password: HTTP://x\r\n";  // line 40: kept
  page += "login\r\n";               // line 41: read, not kept
  page += "tail";
  const std::string expected = ReadPageHead(PutFile(L"C:\\t\\page.html", page));
  EXPECT_NE(expected.find("password: http://x"), std::string::npos);
  EXPECT_EQ(expected.find("login"), std::string::npos);
  EXPECT_NE(expected.find("please verify\rnow"), std::string::npos);
  for (std::size_t piece = 1; piece <= 9; ++piece) {
    SCOPED_TRACE(piece);
    PageHeadReader reader;
    InPieces(page, piece, [&](std::string_view chunk) { return reader.Add(chunk); });
    EXPECT_EQ(reader.Finish(), expected);
  }
  // A last line without a line end, and a CR at the very end, still count.
  PageHeadReader reader;
  reader.Add("Login\r\nhttp password\r");
  EXPECT_EQ(reader.Finish(), "loginhttp password\r");
}

TEST_F(FilePassTest, SectionTableBeyondTheHeadIsNotWalked) {
  // The header sits just inside the first 2 MiB; its section table ends past them.
  const uint32_t header = static_cast<uint32_t>(kHeaderReadBytes - 300);
  const std::string pe = BuildPe({{".a", 0}, {".evil", kExecute | kWrite}}, 3 * kMiB, header);
  ASSERT_TRUE(HasRwxSection(reinterpret_cast<const unsigned char*>(pe.data()), pe.size()));
  const HeuristicResult record = AnalyzeFile(PutFile(L"C:\\Users\\bob\\Downloads\\far.exe", pe));
  EXPECT_EQ(record.reason, L"Clean File");
  // The same table within the head is found.
  const std::string near_pe = BuildPe({{".a", 0}, {".evil", kExecute | kWrite}}, 3 * kMiB, header - 200);
  EXPECT_EQ(AnalyzeFile(PutFile(L"C:\\Users\\bob\\Downloads\\near.exe", near_pe)).reason,
            L"Unusual PE Section contains RWX attributes");
}

TEST_F(FilePassTest, JudgingOpensOnceAndReadsOnlyWhatCanMatter) {
  const std::string pe_bytes = BuildPe({{".evil", kExecute | kWrite}}, 3 * kMiB);
  const std::wstring listed = PutFile(L"C:\\Users\\bob\\Downloads\\listed.txt", TextBytes(3 * kMiB, "listed\r\n"));
  const struct {
    const char* what;
    std::wstring path;
    std::string bytes;
    bool list_a_bad_hash;
    int opens;
    uint64_t bytes_read;
  } cases[] = {
      {"text, empty lists: the entropy window", L"C:\\Users\\bob\\Downloads\\notes.txt", TextBytes(3 * kMiB), false,
       1, kMiB},
      {"executable, empty lists: the head", L"C:\\Users\\bob\\Downloads\\tool.exe", pe_bytes, false, 1,
       kHeaderReadBytes},
      {"text with a bad hash listed: the whole file once", L"C:\\Users\\bob\\Downloads\\other.txt",
       TextBytes(3 * kMiB), true, 1, 3 * kMiB},
      {"page: its lines", L"C:\\Users\\bob\\Downloads\\page.html", TextBytes(2000, "<p>hello</p>\n"), false, 1, 2000},
      {"system place, empty lists: not read", L"C:\\Program Files\\App\\app.exe", pe_bytes, false, 0, 0},
      {"heavy file: only the open test", L"C:\\Users\\bob\\Downloads\\movie.bin", std::string(kAnalysisSizeLimit + 1, 'm'),
       false, 1, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ReplaceBadHashes({});
    if (c.list_a_bad_hash) ReplaceBadHashes({ComputeFileSha256(listed)});
    PutFile(c.path, c.bytes);
    HeuristicResult record;
    ScoreFile(c.path, record);
    EXPECT_EQ(standin::OpensOf(c.path), c.opens);
    EXPECT_EQ(standin::BytesReadOf(c.path), c.bytes_read);
  }
}

TEST_F(FilePassTest, EachListWorksWhileTheOtherIsEmpty) {
  const std::wstring file = PutFile(L"C:\\Users\\bob\\Downloads\\tool.exe", "abc");
  const std::wstring abc = L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
  HeuristicResult record;
  ReplaceBadHashes({abc});
  EXPECT_TRUE(ScoreFile(file, record));
  EXPECT_EQ(record.reason, L"Heuristic score=10 (Local bad-hash match user-writable-path dropped-binary )");

  // Only the safe list: it decides once the gate examines unknown files.
  ResetHashListsForTest();
  IntegrityEventCount = 51;
  EXPECT_FALSE(ScoreFile(file, record));
  EXPECT_EQ(record.reason, L"Heuristic review score=3 (Clean file/process user-writable-path dropped-binary )");
  AddSafeHash(abc);
  EXPECT_FALSE(ScoreFile(file, record));
  EXPECT_EQ(record.reason, L"Heuristic review score=3 (Backend AI allowed user-writable-path dropped-binary )");
}

TEST_F(FilePassTest, FilesThatCannotBeReadKeepTheirResults) {
  // Packed, listed and with a writable code section, but the medium goes away (or a
  // byte-range lock covers the tail) after 1.5 MiB: the hash is lost, while the
  // first MiB and the headers read before the error still count.
  const std::string bytes = BuildPe({{".evil", kExecute | kWrite}}) + RandomBytes(3 * kMiB);
  const std::wstring pulled = PutFile(L"C:\\Users\\bob\\Downloads\\pulled.exe", bytes);
  ReplaceBadHashes({ComputeFileSha256(pulled)});
  standin::FailReadsAfter(pulled, 3 * kMiB / 2);
  HeuristicResult record;
  JudgedOpen opened;
  EXPECT_EQ(ScoreFileOutcome(pulled, record, &opened), ScoreOutcome::Quarantine);
  EXPECT_EQ(record.reason,
            L"Heuristic score=9 (Backend AI allowed high-entropy rwx-section user-writable-path dropped-binary )");
  EXPECT_GT(record.entropy, 7.92);
  EXPECT_TRUE(opened.read_failed);

  // A section table that lies past the bytes read is not found.
  const uint32_t far_header = static_cast<uint32_t>(3 * kMiB / 2 + 1000);
  const std::string far_pe = BuildPe({{".evil", kExecute | kWrite}}, 2 * kMiB, far_header);
  const std::wstring far = PutFile(L"C:\\Users\\bob\\Downloads\\far.exe", far_pe);
  standin::FailReadsAfter(far, 3 * kMiB / 2);
  EXPECT_EQ(AnalyzeFile(far).reason, L"Clean File");
  EXPECT_EQ(AnalyzeFile(PutFile(L"C:\\Users\\bob\\Downloads\\far-whole.exe", far_pe)).reason,
            L"Unusual PE Section contains RWX attributes");

  // One that cannot be opened at all keeps the fresh analysis.
  const std::wstring locked = PutFile(L"C:\\Users\\bob\\Downloads\\locked.exe", bytes);
  standin::FailPath(locked, 5);
  EXPECT_FALSE(ScoreFile(locked, record));
  EXPECT_EQ(record.reason, L"Heuristic review score=3 (Backend AI allowed user-writable-path dropped-binary )");
  EXPECT_EQ(record.entropy, 0.0);
  EXPECT_TRUE(ActivityLines().empty());  // read errors are no faults
}

TEST_F(FilePassTest, ScanFileOpensANewFileThriceAndAnUnchangedOneOnce) {
  const std::wstring file = PutFile(L"C:\\Users\\bob\\Downloads\\report.txt", TextBytes(3 * kMiB));
  ScanFile(file);  // readiness and lock probe, the judgement, the first snapshot
  EXPECT_EQ(standin::OpensOf(file), 3);
  ScanFile(file);  // readiness and lock probe only
  EXPECT_EQ(standin::OpensOf(file), 4);
  EXPECT_EQ(RunCounters.skipped_unchanged.load(), 1u);
}
