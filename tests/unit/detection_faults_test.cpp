// An internal fault (memory running out in the middle of a read) costs one part of a
// judgement, says so in one line, and leaves the rest of the judgement done.
#include <new>

#include "engine/hash_lists.h"
#include "engine/pe_analysis.h"
#include "engine/scorer.h"
#include "scan_fixture.h"

namespace {
void RunOutOfMemory() { throw std::bad_alloc(); }
}  // namespace

class DetectionFaultsTest : public ScanTest {};

TEST_F(DetectionFaultsTest, EachPartThatFaultsSaysSoAndTheRestGoesOn) {
  const std::wstring list = DataDir + L"\\bad-hashes.txt";
  const std::wstring file = PutFile(L"C:\\Users\\bob\\Downloads\\tool.exe", "MZ and some bytes");
  const std::wstring page = PutFile(L"C:\\Program Files\\Site\\login.html", "password login http://x");
  PutFile(list, std::string(64, 'c') + "\r\n");
  LoadBadHashes();
  ResetActivityState();

  // The hash alone.
  standin::OnNextRead(file, RunOutOfMemory);
  EXPECT_EQ(ComputeFileSha256(file), L"");
  EXPECT_EQ(ActivityLines(), std::vector<std::wstring>{L"[FAULT] SHA-256 skipped: " + file});

  // The analysis alone: the record says it was skipped and flags nothing.
  ResetActivityState();
  standin::OnNextRead(file, RunOutOfMemory);
  const HeuristicResult analysis = AnalyzeFile(file);
  EXPECT_EQ(analysis.reason, L"Scan skipped after internal fault");
  EXPECT_FALSE(analysis.suspicious);
  EXPECT_EQ(ActivityLines(), std::vector<std::wstring>{L"[FAULT] Heuristic scan skipped: " + file});

  // The page check alone (a system place gets neither hash nor analysis): no points.
  ResetActivityState();
  standin::OnNextRead(page, RunOutOfMemory);
  HeuristicResult record;
  ScoreFileOutcome(page, record);
  EXPECT_EQ(record.score, 0);
  EXPECT_EQ(ActivityLines(), std::vector<std::wstring>{L"[FAULT] Phishing check skipped: " + page});
  ScoreFileOutcome(page, record);
  EXPECT_EQ(record.score, 2);  // the same page, read whole

  // A reload of the bad-hash list: the set it had stays.
  ResetActivityState();
  standin::OnNextRead(list, RunOutOfMemory);
  LoadBadHashes();
  EXPECT_EQ(ActivityLines(), std::vector<std::wstring>{L"[FAULT] Hash list skipped. Scan continues."});
  EXPECT_TRUE(IsBadHash(std::wstring(64, L'c')));
}
