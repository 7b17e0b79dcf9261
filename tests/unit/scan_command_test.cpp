#include <algorithm>

#include "app/scan_command.h"
#include "engine/hash_lists.h"
#include "pe_fixture.h"
#include "standin_fixture.h"

class ScanCommandTest : public StandinTest {
 protected:
  void SetUp() override {
    StandinTest::SetUp();
    PutFile(L"C:\\Users\\bob\\Downloads\\kit\\notes.txt", "meeting at ten");
    PutFile(L"C:\\Users\\bob\\Downloads\\kit\\invoice.pdf.exe", "x");
    PutFile(L"C:\\Users\\bob\\Downloads\\kit\\deep\\packed.exe",
            BuildPe({{".evil", kExecute | kWrite}}) + RandomBytes(1048576));
  }
  std::vector<std::wstring> OutputLines() {
    std::vector<std::wstring> lines;
    const std::wstring out = standin::ConsoleOutput();
    std::size_t start = 0;
    while (start < out.size()) {
      const std::size_t end = out.find(L"\r\n", start);
      lines.push_back(out.substr(start, end - start));
      start = end + 2;
    }
    return lines;
  }
};

TEST_F(ScanCommandTest, ReportsEveryFileAndExitsOneOnAThreat) {
  EXPECT_EQ(RunScanCommand({L"Downloads\\kit"}), kScanThreatExit);  // relative to C:\Users\bob
  const auto lines = OutputLines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].rfind(L"quarantine\t9\t", 0), 0u);
  EXPECT_NE(lines[0].find(L"\tHeuristic score=9 (Backend AI allowed high-entropy rwx-section user-writable-path "
                          L"dropped-binary )\tC:\\Users\\bob\\Downloads\\kit\\deep\\packed.exe"),
            std::wstring::npos);
  EXPECT_EQ(lines[1].rfind(L"review\t5\t", 0), 0u);
  EXPECT_EQ(lines[2].rfind(L"none\t2\t", 0), 0u);
  EXPECT_NE(lines[2].find(L"\tClean File\tC:\\Users\\bob\\Downloads\\kit\\notes.txt"), std::wstring::npos);
  EXPECT_EQ(lines[3], L"Scanned 3 files: 1 quarantine, 0 warning, 1 review, 1 none; 0 unreadable.");
}

TEST_F(ScanCommandTest, BadHashListFromTheDataFolderOption) {
  PutFile(L"C:\\lists\\bad-hashes.txt", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad\r\n");
  PutFile(L"C:\\Data\\abc.bin", "abc");
  EXPECT_EQ(RunScanCommand({L"C:\\Data\\abc.bin"}), kScanCleanExit);
  EXPECT_EQ(RunScanCommand({L"--data-dir", L"C:\\lists", L"C:\\Data\\abc.bin"}), kScanThreatExit);
  EXPECT_NE(standin::ConsoleOutput().find(L"quarantine\t9\t"), std::wstring::npos);
}

TEST_F(ScanCommandTest, UsageAndReadErrors) {
  EXPECT_EQ(RunScanCommand({}), kScanErrorExit);
  EXPECT_EQ(RunScanCommand({L"--data-dir"}), kScanErrorExit);
  EXPECT_EQ(RunScanCommand({L"--bogus", L"C:\\x"}), kScanErrorExit);
  EXPECT_EQ(RunScanCommand({L"C:\\Users\\bob\\Downloads\\kit\\notes.txt", L"C:\\nowhere.exe"}), kScanErrorExit);
  EXPECT_NE(standin::ConsoleOutput().find(L"error\t-\t-\tnot found\tC:\\nowhere.exe"), std::wstring::npos);
  EXPECT_EQ(RunScanCommand({L"--help"}), kScanCleanExit);
}

TEST_F(ScanCommandTest, WritesNothingToTheDataFolder) {
  standin::SetEnvironment(L"ProgramData", L"C:\\ProgramData");
  RunScanCommand({L"C:\\Users\\bob\\Downloads\\kit"});
  EXPECT_FALSE(std::filesystem::exists(drive_c_ / "ProgramData"));
  EXPECT_EQ(standin::JournalIndex("MakeDirectories"), -1);
}

TEST_F(ScanCommandTest, ParallelJobsPrintTheSameLinesInWalkOrder) {
  // Enough files of every kind, and failures between them, to keep four jobs busy.
  for (int i = 0; i < 60; ++i) {
    const std::wstring n = std::to_wstring(i);
    PutFile(L"C:\\Users\\bob\\Downloads\\kit\\many\\f" + n + L".exe",
            i % 3 == 0 ? BuildPe({{".evil", kExecute | kWrite}}) + RandomBytes(65536 + 1000 * i, i)
                       : "note " + std::to_string(i));
  }
  PutFile(L"C:\\Users\\bob\\Downloads\\kit\\many\\broken\\x.txt", "x");
  standin::FailListing(L"C:\\Users\\bob\\Downloads\\kit\\many\\broken", 0, 5);
  const std::vector<std::wstring> args = {L"C:\\Users\\bob\\Downloads\\kit", L"C:\\nowhere"};

  auto with_jobs = [&](const wchar_t* jobs) {
    const std::size_t before = standin::ConsoleOutput().size();
    std::vector<std::wstring> full = {L"--jobs", jobs};
    full.insert(full.end(), args.begin(), args.end());
    const int exit_code = RunScanCommand(full);
    return std::make_pair(exit_code, standin::ConsoleOutput().substr(before));
  };
  const auto one = with_jobs(L"1");
  const auto four = with_jobs(L"4");
  EXPECT_EQ(one.first, kScanThreatExit);
  EXPECT_EQ(four.first, one.first);
  EXPECT_EQ(four.second, one.second);
  EXPECT_NE(one.second.find(L"error\t-\t-\tfolder cannot be listed\tC:\\Users\\bob\\Downloads\\kit\\many\\broken"),
            std::wstring::npos);
  EXPECT_NE(one.second.find(L"Scanned 63 files: 21 quarantine"), std::wstring::npos);
}

TEST_F(ScanCommandTest, JobsMustBeAWholeNumberFromOneToSixteen) {
  for (const wchar_t* bad : {L"0", L"17", L"-1", L"two", L"", L"4x", L"100"}) {
    SCOPED_TRACE(::testing::Message() << "--jobs " << bad);
    EXPECT_EQ(RunScanCommand({L"--jobs", bad, L"C:\\Users\\bob\\Downloads\\kit"}), kScanErrorExit);
  }
  EXPECT_EQ(RunScanCommand({L"C:\\Users\\bob\\Downloads\\kit", L"--jobs"}), kScanErrorExit);
  EXPECT_NE(standin::ConsoleOutput().find(L"--jobs needs a number from 1 to 16"), std::wstring::npos);
  EXPECT_EQ(RunScanCommand({L"--jobs", L"16", L"C:\\Users\\bob\\Downloads\\kit"}), kScanThreatExit);
}

// "Readable" means read as far as the judgement needed: a file that opens but whose
// reads fail is no clean file, and a listed file whose tail cannot be read is no
// unlisted one.
TEST_F(ScanCommandTest, AFileThatCannotBeReadAsFarAsNeededIsAReadError) {
  const struct {
    const char* what;
    std::wstring path;
    std::string bytes;
    uint64_t readable;
  } cases[] = {
      {"no byte can be read", L"C:\\Users\\bob\\Documents\\locked.txt", "meeting at ten", 0},
      {"a listed file whose tail cannot be read", L"C:\\Data\\listed.bin", std::string(200000, 'z'), 65536},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    PutFile(c.path, c.bytes);
    const std::wstring hash = ComputeFileSha256(c.path);
    PutFile(L"C:\\lists\\bad-hashes.txt", std::string(hash.begin(), hash.end()) + "\r\n");
    standin::FailReadsAfter(c.path, c.readable);
    const std::size_t before = standin::ConsoleOutput().size();
    EXPECT_EQ(RunScanCommand({L"--data-dir", L"C:\\lists", L"--jobs", L"1", c.path}), kScanErrorExit);
    EXPECT_EQ(standin::ConsoleOutput().substr(before),
              L"error\t-\t-\tcannot be read\t" + c.path + L"\r\nScanned 0 files: 0 quarantine, 0 warning, 0 review, "
                                                          L"0 none; 1 unreadable.\r\n");
  }
  // What was read before the error still stands: a writable code section in the
  // headers of a packed download is a threat whatever the tail holds.
  const std::wstring packed = PutFile(L"C:\\Users\\bob\\Downloads\\packed.exe",
                                      BuildPe({{".evil", kExecute | kWrite}}) + RandomBytes(3u << 20));
  standin::FailReadsAfter(packed, 3u << 19);
  EXPECT_EQ(RunScanCommand({L"--data-dir", L"C:\\empty", packed}), kScanThreatExit);
  EXPECT_NE(standin::ConsoleOutput().find(L"quarantine\t9\t"), std::wstring::npos);

  // A bad-hash list that breaks off is said too, and its first lines still count.
  const std::string abc_hash = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
  PutFile(L"C:\\lists\\bad-hashes.txt", abc_hash + "\r\n" + std::string(200000, '#') + "\r\n");
  standin::FailReadsAfter(L"C:\\lists\\bad-hashes.txt", 65536);
  PutFile(L"C:\\Data\\abc.bin", "abc");
  const std::size_t before = standin::ConsoleOutput().size();
  EXPECT_EQ(RunScanCommand({L"--data-dir", L"C:\\lists", L"C:\\Data\\abc.bin"}), kScanThreatExit);
  const std::wstring out = standin::ConsoleOutput().substr(before);
  EXPECT_EQ(out.rfind(L"error\t-\t-\tcannot be read\tC:\\lists\\bad-hashes.txt\r\nquarantine\t9\t", 0), 0u);
}

// Explorer's verb runs the scanner in a console window of its own: with --pause the
// window waits for a key after the summary. Output to a file or a pipe never waits,
// or a script would hang.
TEST_F(ScanCommandTest, PauseWaitsForAKeyOnlyOnAConsoleAndAfterTheSummary) {
  const std::wstring kit = L"C:\\Users\\bob\\Downloads\\kit";
  const std::wstring summary = L"Scanned 3 files: 1 quarantine, 0 warning, 1 review, 1 none; 0 unreadable.\r\n";
  const std::wstring prompt = L"Press any key to close this window.";
  const struct {
    const char* what;
    bool console;
    std::vector<std::wstring> args;
    int exit_code;
    std::wstring ends_with;
    bool waits;
  } cases[] = {
      {"the verb's command line on a console", true, {L"--pause", kit}, kScanThreatExit, summary + prompt, true},
      {"--pause after the path", true, {kit, L"--pause"}, kScanThreatExit, summary + prompt, true},
      {"output redirected", false, {L"--pause", kit}, kScanThreatExit, summary, false},
      {"no --pause", true, {kit}, kScanThreatExit, summary, false},
      {"a path that is gone still shows its error", true, {L"--pause", L"C:\\gone.exe"}, kScanErrorExit,
       L"1 unreadable.\r\n" + prompt, true},
      {"a usage error still shows the usage", true, {L"--pause"}, kScanErrorExit,
       L"2 usage or read error.\r\n" + prompt, true},
  };
  const auto waits = [] {
    const auto journal = standin::Journal();
    return std::count(journal.begin(), journal.end(), "WaitForKey");
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto waited = waits();
    standin::SetInteractiveConsole(c.console);
    const std::size_t before = standin::ConsoleOutput().size();
    EXPECT_EQ(RunScanCommand(c.args), c.exit_code);
    const std::wstring out = standin::ConsoleOutput().substr(before);
    ASSERT_GE(out.size(), c.ends_with.size());
    EXPECT_EQ(out.substr(out.size() - c.ends_with.size()), c.ends_with);
    EXPECT_EQ(out.find(prompt) != std::wstring::npos, c.waits);
    EXPECT_EQ(waits(), waited + (c.waits ? 1 : 0));
  }
}
