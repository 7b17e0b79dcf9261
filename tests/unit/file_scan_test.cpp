// The per-file scan: every branch with its counters, lines and status.
#include <filesystem>

#include "engine/path_classes.h"
#include "engine/scan_index.h"
#include "response/snapshots.h"
#include "scan/file_scan.h"
#include "scan_fixture.h"

namespace {

class FileScanTest : public ScanTest {
 protected:
  struct Counters {
    uint64_t scanned, skipped, deferred;
  };
  static Counters Now() {
    return {RunCounters.scanned.load(), RunCounters.skipped_unchanged.load(), RunCounters.deferred_other_av.load()};
  }
  static std::size_t IndexSize() {
    std::lock_guard<std::mutex> hold(ScanIndexLock);
    return ScanIndex.size();
  }
};

TEST_F(FileScanTest, FilesThatAreNotScored) {
  const std::wstring partial = PutFile(L"C:\\Users\\bob\\Downloads\\setup.exe.crdownload", "");
  const std::wstring empty = PutFile(L"C:\\Users\\bob\\Downloads\\empty.txt", "");
  const std::wstring quarantined = PutFile(L"C:\\KestruneAV\\Quarantine\\evil.exe.1234", "MZ");
  const std::wstring copy = PutFile(SnapshotPathFor(L"C:\\Users\\bob\\a.txt"), "text");

  for (const auto& quiet : {std::wstring(), quarantined, copy}) ScanFile(quiet);
  EXPECT_TRUE(ActivityLines().empty());
  for (const auto& unready : {partial, empty}) ScanFile(unready);
  EXPECT_EQ(ActivityLines(), (std::vector<std::wstring>{
                                 L"[DOWNLOAD] Allowed to finish, will scan after: " + partial,
                                 L"[DOWNLOAD] Allowed to finish, will scan after: " + empty,
                             }));

  // Held by another program, typically another scanner.
  const std::wstring held = PutFile(L"C:\\Users\\bob\\Documents\\held.docx", "text");
  const std::wstring locked = PutFile(L"C:\\Users\\bob\\Documents\\locked.docx", "text");
  standin::HoldFile(held, 32);
  standin::HoldFile(locked, 33);
  ScanFile(held);
  ScanFile(locked);
  EXPECT_EQ(RunCounters.deferred_other_av.load(), 2u);
  EXPECT_EQ(RunCounters.scanned.load(), 0u);
  EXPECT_EQ(IndexSize(), 0u);
}

TEST_F(FileScanTest, UnchangedFilesAreSkippedUntilTheyChange) {
  const std::wstring notes = L"C:\\Users\\bob\\Documents\\notes.txt";
  PutFile(notes, TextBytes(3000));
  ScanFile(notes);
  EXPECT_EQ(RunCounters.scanned.load(), 1u);
  EXPECT_TRUE(IsUnchangedSinceLastScan(notes));
  ScanFile(notes);
  EXPECT_EQ(RunCounters.scanned.load(), 1u);
  EXPECT_EQ(RunCounters.skipped_unchanged.load(), 1u);

  // Encrypted in place: known, so put back from its snapshot before it is judged.
  PutFile(notes, RandomBytes(3100));
  EXPECT_FALSE(IsUnchangedSinceLastScan(notes));
  ScanFile(notes);
  EXPECT_EQ(RunCounters.scanned.load(), 2u);
  EXPECT_EQ(HostBytes(notes), TextBytes(3000));
  EXPECT_TRUE(Logged(L"[ROLLBACK] Restored after change: " + notes + L" \u2014 replaced content kept in " +
                     ReplacedContentPathFor(SnapshotPathFor(notes))));
  EXPECT_EQ(CountLines(L"[HEURISTIC] "), 0);  // the restored text was scored, not the noise
  EXPECT_TRUE(IsUnchangedSinceLastScan(notes));
}

TEST_F(FileScanTest, IndexIsEmptiedPastItsBound) {
  {
    std::lock_guard<std::mutex> hold(ScanIndexLock);
    for (int i = 0; i < 20001; ++i) ScanIndex[L"C:\\old\\" + std::to_wstring(i)] = FileStamp{1, 1};
  }
  const std::wstring file = PutFile(L"C:\\Users\\bob\\Documents\\new.txt", "text");
  ScanFile(file);
  EXPECT_EQ(IndexSize(), 1u);
  EXPECT_TRUE(IsUnchangedSinceLastScan(file));
}

TEST_F(FileScanTest, FlaggedFileIsHandedToTheManager) {
  // user-writable 2, dropped binary 1, stalkerware 3, crypto threat 3: score 9.
  const std::wstring threat = PutFile(L"C:\\Users\\bob\\Downloads\\keylog-miner.exe", "MZ not really");
  ScanFile(threat);
  const auto lines = ActivityLines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0].rfind(L"[AI] Manager taking over: Heuristic score=9 (", 0), 0u);
  EXPECT_EQ(lines[1], L"Manager handling threat");
  EXPECT_TRUE(Logged(L"[AI] Queued for isolation: " + threat));
  EXPECT_EQ(ThreatState.load(), 2);
  EXPECT_EQ(ContainCount.load(), 1);
  {
    std::lock_guard<std::mutex> hold(UiStateLock);
    EXPECT_EQ(StatusText, L"Manager handling threat");
    EXPECT_EQ(ActiveTarget, threat);
  }
  // No copy of the threat is kept outside the quarantine.
  EXPECT_FALSE(std::filesystem::exists(standin::HostPath(SnapshotPathFor(threat))));
}

// A known file is snapshotted before it is judged; when it turned into a threat, that
// copy must not stay behind. What earlier rollbacks kept is the user's and stays.
TEST_F(FileScanTest, AKnownFileJudgedMaliciousLeavesNoSnapshot) {
  const std::wstring notes = PutFile(L"C:\\Users\\bob\\Documents\\notes.txt", TextBytes(3000));
  ScanFile(notes);
  const std::wstring snapshot = SnapshotPathFor(notes);
  ASSERT_TRUE(std::filesystem::exists(standin::HostPath(snapshot)));
  const std::wstring kept = PutFile(ReplacedContentPathFor(snapshot), "what an earlier rollback replaced");

  PutFile(notes, "X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*");
  ScanFile(notes);
  ASSERT_EQ(ContainCount.load(), 1);
  EXPECT_FALSE(std::filesystem::exists(standin::HostPath(snapshot)));
  EXPECT_TRUE(std::filesystem::exists(standin::HostPath(kept)));
}

TEST_F(FileScanTest, SuspiciousFilesGetAReviewAndOneWarningBalloonPerScan) {
  const struct {
    const wchar_t* path;
    int score;
  } cases[] = {
      {L"C:\\Users\\bob\\Downloads\\invoice.pdf.exe", 5},  // user 2, binary 1, double extension 2
      {L"C:\\Users\\bob\\Downloads\\keylog.exe", 6},       // user 2, binary 1, stalkerware 3
      {L"C:\\Users\\bob\\Downloads\\spysetup.exe", 6},
  };
  int scanned = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.score);
    PutFile(c.path, "x");
    ScanFile(c.path);
    ++scanned;
    EXPECT_EQ(CountLines(L"[HEURISTIC] "), scanned);
    const std::wstring line = ActivityLines()[ActivityLines().size() - 2];
    const std::wstring kind = c.score >= 6 ? L"Warning only score=" : L"Heuristic review score=";
    EXPECT_EQ(line.rfind(L"[HEURISTIC] " + kind + std::to_wstring(c.score) + L" (", 0), 0u);
    EXPECT_TRUE(EndsWith(line, L") file=" + std::wstring(c.path)));
    EXPECT_EQ(ThreatState.load(), 1);
    std::lock_guard<std::mutex> hold(UiStateLock);
    EXPECT_EQ(StatusText, L"Heuristic review (not deleted)");
    EXPECT_EQ(ActiveTarget, c.path);
  }
  const auto balloons = standin::Balloons();
  ASSERT_EQ(balloons.size(), 1u);  // the score-5 file raised none, the two score-6 files one
  EXPECT_EQ(balloons[0].first, L"Kestrune");
  EXPECT_EQ(balloons[0].second, L"This app might be dangerous. No action taken \u2014 warning only.");
  EXPECT_EQ(CountLines(L"Heuristic review (not deleted)"), 3);
}

TEST_F(FileScanTest, CleanFileIsCountedRecordedAndSnapshotted) {
  const std::wstring notes = PutFile(L"C:\\Users\\bob\\Documents\\plan.txt", TextBytes(500));
  ScanFile(notes);
  EXPECT_EQ(RunCounters.scanned.load(), 1u);
  EXPECT_TRUE(ActivityLines().empty());
  EXPECT_EQ(ThreatState.load(), 0);
  EXPECT_EQ(HostBytes(SnapshotPathFor(notes)), TextBytes(500));
}

// What is recorded as seen is the content that was judged: bytes written while the
// judgement ran, or a file it could not read as far as it needed, come back at the
// next event.
TEST_F(FileScanTest, ContentNotJudgedWholeIsJudgedAgainAtTheNextEvent) {
  const std::wstring swapped = PutFile(L"C:\\Users\\bob\\Downloads\\setup.txt", TextBytes(3000));
  standin::OnNextRead(swapped, [&] { PutFile(swapped, TextBytes(5000, "payload swapped in\r\n")); });
  ScanFile(swapped);
  EXPECT_FALSE(IsUnchangedSinceLastScan(swapped));
  ScanFile(swapped);
  EXPECT_EQ(RunCounters.scanned.load(), 2u);
  EXPECT_EQ(RunCounters.skipped_unchanged.load(), 0u);
  ScanFile(swapped);  // the content judged the second time is the content on disk
  EXPECT_EQ(RunCounters.skipped_unchanged.load(), 1u);

  const std::wstring cut = PutFile(L"C:\\Users\\bob\\Downloads\\big.txt", TextBytes(3 * 1048576));
  standin::FailReadsAfter(cut, 524288);
  ScanFile(cut);
  ScanFile(cut);
  EXPECT_EQ(RunCounters.scanned.load(), 4u);
  EXPECT_EQ(CountLines(L"[SCAN] Could not be read, judged on what was read and left for another scan: " + cut), 2);
  EXPECT_FALSE(IsUnchangedSinceLastScan(cut));
}

}  // namespace
