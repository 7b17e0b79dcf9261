#include <thread>

#include "app/wide.h"
#include "engine/hash_lists.h"
#include "standin_fixture.h"

class HashListsTest : public StandinTest {
 protected:
  void SetUp() override {
    StandinTest::SetUp();
    DataDir = L"C:\\KestruneAV";
    EngineMarkerPath = DataDir + L"\\engine.marker";
    SafeHashesPath = DataDir + L"\\safe-hashes.txt";
    std::filesystem::create_directories(drive_c_ / "KestruneAV");
  }
};

constexpr wchar_t kAbc[] = L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
constexpr wchar_t kEmpty[] = L"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

TEST_F(HashListsTest, Sha256OfFiles) {
  EXPECT_EQ(ComputeFileSha256(PutFile(L"C:\\t\\abc.txt", "abc")), kAbc);
  EXPECT_EQ(ComputeFileSha256(PutFile(L"C:\\t\\empty.txt", "")), kEmpty);
  EXPECT_EQ(ComputeFileSha256(L"C:\\t\\missing.txt"), L"");
  EXPECT_TRUE(ActivityLines().empty());  // an unreadable file is not a fault
}

TEST_F(HashListsTest, MissingFilesAreCreatedWithTheirExactBytes) {
  LoadBadHashes();
  EXPECT_EQ(HostBytes(L"C:\\KestruneAV\\engine.marker"), "kestrune.engine=heuristic\r\nversion=2.0\r\n");
  EXPECT_EQ(HostBytes(L"C:\\KestruneAV\\engine.marker").size(), 40u);
  EXPECT_EQ(HostBytes(L"C:\\KestruneAV\\bad-hashes.txt"), "# sha256 of confirmed bad files, one per line\r\n");
  EXPECT_EQ(ActivityLines(), std::vector<std::wstring>{L"[ENGINE] Heuristic scan plus 0 local bad hashes. No cloud "
                                                       L"lookup, so a dead network cannot stall a scan."});
  // Existing files are left as they are.
  PutFile(L"C:\\KestruneAV\\engine.marker", "scrambled");
  LoadBadHashes();
  EXPECT_EQ(HostBytes(L"C:\\KestruneAV\\engine.marker"), "scrambled");
}

TEST_F(HashListsTest, BadListEntryRules) {
  const std::string upper = "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD";
  const std::string h64(64, 'a');
  PutFile(L"C:\\KestruneAV\\bad-hashes.txt",
          "# header\r\n" + upper + "\r\n" + std::string(63, 'b') + "\n" + std::string(65, 'c') + "\n" +
              std::string(64, 'd') + " \n" + "#" + std::string(63, 'e') + "\n" + h64);
  LoadBadHashes();
  EXPECT_EQ(BadHashCount(), 2u);
  EXPECT_TRUE(IsBadHash(kAbc));  // upper-case line matches the lower-case hash
  EXPECT_TRUE(IsBadHash(std::wstring(64, L'a')));
  EXPECT_FALSE(IsBadHash(L""));
  EXPECT_EQ(ActivityLines().back(), L"[ENGINE] Heuristic scan plus 2 local bad hashes. No cloud lookup, so a dead "
                                    L"network cannot stall a scan.");
}

TEST_F(HashListsTest, SafeListKeepsEntriesAsWritten) {
  const std::string upper = "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD";
  PutFile(L"C:\\KestruneAV\\safe-hashes.txt", upper + "\r\n\r\nshort \r\n");
  LoadSafeHashes(SafeHashesPath);
  EXPECT_FALSE(IsSafeHash(kAbc));  // no case change in the safe list
  EXPECT_TRUE(IsSafeHash(WidenBytes(upper)));
  EXPECT_TRUE(IsSafeHash(L"short "));
  EXPECT_TRUE(IsSafeHashNarrow("short "));
  EXPECT_FALSE(IsSafeHash(L""));
}

TEST_F(HashListsTest, AddingASafeHashAppendsItOnce) {
  AddSafeHash(kAbc);
  AddSafeHash(kAbc);
  AddSafeHash(L"");
  EXPECT_TRUE(IsSafeHash(kAbc));
  EXPECT_TRUE(IsSafeHashNarrow(NarrowLowBytes(kAbc)));
  EXPECT_EQ(HostBytes(L"C:\\KestruneAV\\safe-hashes.txt"), NarrowLowBytes(kAbc) + "\r\n");
}

TEST_F(HashListsTest, ReadersSeeAWholeListWhileItIsReloaded) {
  std::unordered_set<std::wstring> big;
  for (int i = 0; i < 2000; ++i) big.insert(std::to_wstring(i));
  std::atomic<bool> done{false};
  std::thread reloader([&] {
    for (int i = 0; i < 200; ++i) ReplaceBadHashes(i % 2 ? big : std::unordered_set<std::wstring>{});
    done = true;
  });
  while (!done) {
    const std::size_t count = BadHashCount();
    EXPECT_TRUE(count == 0 || count == 2000);
    IsBadHash(L"1999");
  }
  reloader.join();
}

namespace {
// A list of 64-digit entries, numbered from 0, one per CR LF line (66 bytes each).
std::string NumberedEntries(int count) {
  std::string list;
  for (int i = 0; i < count; ++i) {
    const std::string number = std::to_string(i);
    list += number + std::string(64 - number.size(), 'a') + "\r\n";
  }
  return list;
}

std::wstring Entry(int i) {
  const std::wstring number = std::to_wstring(i);
  return number + std::wstring(64 - number.size(), L'a');
}

constexpr int kEntries = 2000;
// Lists are read in 64 KiB pieces; the second one fails. 992 lines of 66 bytes lie
// whole within the first; of the 993rd it holds the 64 digits but not the line end,
// and a line the error cut is no entry.
constexpr uint64_t kReadBeforeError = 65536;
constexpr int kWholeLinesRead = 992;
}  // namespace

TEST_F(HashListsTest, AListThatBreaksOffKeepsTheLinesReadBeforeTheError) {
  const std::wstring bad_path = L"C:\\KestruneAV\\bad-hashes.txt";
  PutFile(bad_path, NumberedEntries(kEntries));
  standin::FailReadsAfter(bad_path, kReadBeforeError);
  LoadBadHashes();
  EXPECT_EQ(BadHashCount(), static_cast<std::size_t>(kWholeLinesRead));
  EXPECT_TRUE(IsBadHash(Entry(0)));
  EXPECT_TRUE(IsBadHash(Entry(kWholeLinesRead - 1)));
  EXPECT_FALSE(IsBadHash(Entry(kWholeLinesRead)));
  EXPECT_EQ(ActivityLines(), (std::vector<std::wstring>{
                                 L"[FAULT] Hash list skipped. Scan continues.",
                                 L"[ENGINE] Heuristic scan plus 992 local bad hashes. No cloud lookup, so a dead "
                                 L"network cannot stall a scan.",
                             }));

  ResetActivityState();
  PutFile(SafeHashesPath, NumberedEntries(kEntries));
  standin::FailReadsAfter(SafeHashesPath, kReadBeforeError);
  EXPECT_FALSE(LoadSafeHashes(SafeHashesPath));
  EXPECT_TRUE(IsSafeHash(Entry(kWholeLinesRead - 1)));
  EXPECT_FALSE(IsSafeHash(Entry(kWholeLinesRead)));
  EXPECT_EQ(ActivityLines(), std::vector<std::wstring>{L"[FAULT] Hash list skipped. Scan continues."});
}
