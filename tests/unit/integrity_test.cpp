// The engine marker, its backup, the integrity routine and the executable self-check.
#include <thread>

#include "app/startup.h"
#include "platform/files.h"
#include "scan_fixture.h"
#include "upkeep/integrity.h"
#include "upkeep/self_check.h"

namespace {
constexpr char kHealthyMarker[] = "kestrune.engine=heuristic\r\nversion=2.0\r\n";
constexpr wchar_t kExe[] = L"C:\\Program Files\\KestruneAV\\KestruneAV.exe";
}  // namespace

class IntegrityTest : public ScanTest {
 protected:
  void Scramble(const std::string& bytes) {
    platform::SetNormalAttributes(EngineMarkerPath);
    PutFile(EngineMarkerPath, bytes);
  }
  static std::wstring EventLine(int n) {
    return L"[INTEGRITY] Engine marker looks scrambled (event " + std::to_wstring(n) + L"). Restoring backup.";
  }
};

TEST_F(IntegrityTest, StartUpWritesTheMarkerAndAReadOnlyBackupOfIt) {
  EXPECT_EQ(std::string(kHealthyMarker).size(), 40u);
  EXPECT_EQ(HostBytes(EngineMarkerPath), kHealthyMarker);
  EXPECT_EQ(HostBytes(EngineMarkerBackupPath), kHealthyMarker);
  EXPECT_TRUE(standin::IsReadOnly(EngineMarkerBackupPath));
  EXPECT_FALSE(IsMarkerScrambled(EngineMarkerPath));

  RunStartupSteps();
  EXPECT_TRUE(Logged(L"[INTEGRITY] Definition backup refreshed."));
}

TEST_F(IntegrityTest, WhatCountsAsScrambled) {
  const struct {
    const char* what;
    std::string bytes;
    bool scrambled;
  } cases[] = {
      {"the marker text", kHealthyMarker, false},
      {"eight plain bytes", "abcdefgh", false},
      {"seven bytes", "abcdefg", true},
      {"empty", "", true},
      {"4,096 random bytes", RandomBytes(4096), true},
      {"text past 4 KiB", TextBytes(20000), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    PutFile(L"C:\\probe.marker", c.bytes);
    EXPECT_EQ(IsMarkerScrambled(L"C:\\probe.marker"), c.scrambled);
  }
  EXPECT_TRUE(IsMarkerScrambled(L"C:\\missing.marker"));
  standin::FailReadsAfter(L"C:\\probe.marker", 0);
  EXPECT_TRUE(IsMarkerScrambled(L"C:\\probe.marker"));  // unreadable
}

TEST_F(IntegrityTest, ScrambledMarkersAreCountedNumberedAndRestored) {
  for (const std::string& noise : {std::string("garbage"), RandomBytes(4096)}) {
    Scramble(noise);
    RunIntegrityCheck();
  }
  EXPECT_EQ(IntegrityEventCount.load(), 2);
  const auto lines = ActivityLines();
  ASSERT_EQ(CountLines(L"[INTEGRITY] "), 2);
  EXPECT_EQ(lines[0], EventLine(1));
  EXPECT_EQ(lines[1].rfind(L"[ENGINE] Heuristic scan plus ", 0), 0u);  // the list was reloaded
  EXPECT_EQ(lines[2], EventLine(2));
  EXPECT_EQ(HostBytes(EngineMarkerPath), kHealthyMarker);
  EXPECT_FALSE(standin::IsReadOnly(EngineMarkerPath));
  EXPECT_TRUE(standin::IsReadOnly(EngineMarkerBackupPath));

  ResetActivityState();
  RunIntegrityCheck();  // healthy again: nothing to say
  EXPECT_TRUE(ActivityLines().empty());
}

// The reload after a restore must not cost the list it replaces when the list
// cannot be read to its end (another program's byte-range lock, a failing disk).
TEST_F(IntegrityTest, AReloadThatBreaksOffKeepsTheListItHad) {
  std::string list;
  for (int i = 0; i < 2000; ++i) list += std::to_string(i) + std::string(64 - std::to_string(i).size(), 'b') + "\r\n";
  const std::wstring list_path = DataDir + L"\\bad-hashes.txt";
  PutFile(list_path, list);
  LoadBadHashes();
  ASSERT_EQ(BadHashCount(), 2000u);
  standin::FailReadsAfter(list_path, 65536);
  ResetActivityState();
  Scramble("garbage");
  RunIntegrityCheck();
  EXPECT_EQ(BadHashCount(), 2000u);
  EXPECT_TRUE(IsBadHash(L"1999" + std::wstring(60, L'b')));
  EXPECT_EQ(ActivityLines(), (std::vector<std::wstring>{
                                 EventLine(1),
                                 L"[FAULT] Hash list skipped. Scan continues.",
                                 L"[ENGINE] Heuristic scan plus 2000 local bad hashes. No cloud lookup, so a dead "
                                 L"network cannot stall a scan.",
                             }));
}

TEST_F(IntegrityTest, WithoutABackupTheMarkerIsReportedEveryTimeAndLeftAlone) {
  platform::SetNormalAttributes(EngineMarkerBackupPath);
  platform::DeleteFileAt(EngineMarkerBackupPath);
  const std::string noise = RandomBytes(4096);
  Scramble(noise);
  RunIntegrityCheck();
  RunIntegrityCheck();
  EXPECT_EQ(ActivityLines(), (std::vector<std::wstring>{EventLine(1), EventLine(2)}));  // no reload
  EXPECT_EQ(HostBytes(EngineMarkerPath), noise);
}

TEST_F(IntegrityTest, ADeletedMarkerIsNoEventAndComesBackWithTheNextLoad) {
  std::filesystem::remove(standin::HostPath(EngineMarkerPath));
  RunIntegrityCheck();
  EXPECT_EQ(IntegrityEventCount.load(), 0);
  EXPECT_TRUE(ActivityLines().empty());
  LoadBadHashes();
  EXPECT_EQ(HostBytes(EngineMarkerPath), kHealthyMarker);
}

TEST_F(IntegrityTest, RefreshKeepsTheBackupFromNoiseAndStillReplacesItsReadOnlyCopy) {
  const std::string noise = RandomBytes(4096);
  Scramble(noise);
  RefreshMarkerBackup();
  EXPECT_EQ(HostBytes(EngineMarkerBackupPath), kHealthyMarker);

  // A healthy marker that changed since (a newer version) replaces the read-only backup.
  const std::string newer = "kestrune.engine=heuristic\r\nversion=2.1\r\n";
  Scramble(newer);
  RefreshMarkerBackup();
  EXPECT_EQ(HostBytes(EngineMarkerBackupPath), newer);
  EXPECT_TRUE(standin::IsReadOnly(EngineMarkerBackupPath));
}

TEST_F(IntegrityTest, ConcurrentPassesRestoreOnce) {
  Scramble(RandomBytes(4096));
  std::vector<std::thread> passes;
  for (int i = 0; i < 4; ++i) passes.emplace_back(RunIntegrityCheck);
  for (auto& pass : passes) pass.join();
  EXPECT_EQ(IntegrityEventCount.load(), 1);
  EXPECT_EQ(CountLines(L"[INTEGRITY] "), 1);
}

TEST_F(IntegrityTest, AChangedExecutableIsReportedOnceAndNothingElseHappens) {
  PutFile(kExe, "MZ first build");
  standin::AddProcess(77, L"helper.exe", L"C:\\Users\\bob\\helper.exe");
  TakeExecutableReference();
  RunIntegrityCheck();
  EXPECT_TRUE(ActivityLines().empty());

  std::filesystem::last_write_time(standin::HostPath(kExe),
                                   std::filesystem::last_write_time(standin::HostPath(kExe)) + std::chrono::hours(1));
  RunIntegrityCheck();  // touched, same bytes: no change
  EXPECT_TRUE(ActivityLines().empty());

  PutFile(kExe, "MZ second build, tampered");
  RunIntegrityCheck();
  RunIntegrityCheck();  // the new file is the reference now
  EXPECT_EQ(ActivityLines(), std::vector<std::wstring>{
                                 L"[INTEGRITY] EXE hash changed (update or tamper). Not killing other processes."});
  EXPECT_TRUE(standin::TerminatedProcesses().empty());
  EXPECT_EQ(IntegrityEventCount.load(), 0);
}

TEST_F(IntegrityTest, TheWorkersRunTheRoutineAfterTheirWait) {
  Scramble(RandomBytes(4096));
  StartLongLivedWorkers();
  for (const auto& thread : standin::StartedThreads()) {
    if (thread.name != L"integrity-pulse") continue;
    StopAfterSleeps(3);
    thread.body();
  }
  EXPECT_EQ(standin::Sleeps().front(), 20000u);
  EXPECT_EQ(CountLines(L"[INTEGRITY] "), 1);  // first pass restores, second finds it healthy
  EXPECT_EQ(HostBytes(EngineMarkerPath), kHealthyMarker);
}
