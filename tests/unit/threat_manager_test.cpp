// The threat manager: the road of a flagged file, the isolation workers and the one
// question per batch.
#include <algorithm>
#include <filesystem>
#include <functional>

#include "app/text_file.h"
#include "engine/hash_lists.h"
#include "engine/path_classes.h"
#include "response/containment.h"
#include "response/disinfection.h"
#include "response/quarantine_store.h"
#include "response/threat_manager.h"
#include "scan/file_scan.h"
#include "scan_fixture.h"

namespace {

class ThreatManagerTest : public ScanTest {
 protected:
  void SetUp() override {
    ScanTest::SetUp();
    ResetThreatManagerForTest();
    WifiHeld.store(false);
    BatchNoticeShown.store(false);
    HeldCount.store(0);
    RestartPromptPending.store(false);
  }
  // Runs an isolation worker on this thread until the queue is drained.
  bool HostExists(const std::wstring& path) { return std::filesystem::exists(standin::HostPath(path)); }
  static std::vector<std::wstring> Balloons() {
    std::vector<std::wstring> texts;
    for (const auto& balloon : standin::Balloons()) texts.push_back(balloon.second);
    return texts;
  }
};

TEST_F(ThreatManagerTest, TrustedAndLowConfidenceFilesAreLetGo) {
  const std::wstring signed_tool = PutFile(L"C:\\Users\\bob\\Downloads\\tool.exe", "MZ");
  standin::MarkSigned(signed_tool);
  HandleFlaggedFile(signed_tool, Flagged(9));
  const std::wstring unsure = PutFile(L"C:\\Tools\\unsure.exe", "MZ");
  HandleFlaggedFile(unsure, Flagged(7));
  EXPECT_EQ(ActivityLines(), (std::vector<std::wstring>{
                                 L"[AI] Trusted, not quarantined (Valid digital signature): " + signed_tool,
                                 L"[AI] Low confidence, not quarantined: " + unsure,
                             }));
  EXPECT_TRUE(standin::ChildCommandLines().empty());  // no Wi-Fi hold either
}

TEST_F(ThreatManagerTest, FlaggedFilesAreContainedQueuedAndIsolatedWithOneNotice) {
  standin::SetWlan(true, L"Home Net");
  const std::wstring first = PutFile(L"C:\\Users\\bob\\Downloads\\keylog-miner.exe", "MZ 1");
  const std::wstring second = PutFile(L"C:\\Users\\bob\\Downloads\\xmrig-keylog.exe", "MZ 2");
  standin::AddProcess(700, L"keylog-miner.exe", first);
  for (const auto& threat : {first, second}) ScanFile(threat);

  EXPECT_EQ(standin::TerminatedProcesses(), std::vector<uint32_t>{700});
  EXPECT_TRUE(Logged(L"[AI] Queued for isolation: " + first));
  EXPECT_TRUE(Logged(L"[AI] Queued for isolation: " + second));
  EXPECT_EQ(CountLines(L"[NET] Wi-Fi held"), 2);  // released after each intake, held again for the next
  EXPECT_EQ(CountLines(L"[NET] Wi-Fi restore requested."), 2);
  EXPECT_TRUE(RestartPromptPending.load());
  EXPECT_EQ(Balloons(), std::vector<std::wstring>{L"Threats moved to quarantine. One notice for this batch."});

  DrainQueue();
  EXPECT_FALSE(HostExists(first));
  EXPECT_EQ(HostBytes(L"C:\\KestruneAV\\Quarantine\\keylog-miner.exe"), "MZ 1");
  EXPECT_EQ(RunCounters.quarantined.load(), 2u);
  EXPECT_EQ(HeldCount.load(), 0);  // automatic isolations wait for no decision
  // The end of a scan asks nothing about them.
  DecideBatch();
  EXPECT_TRUE(standin::Questions().empty());
}

TEST_F(ThreatManagerTest, RepeatEncryptionQuarantinesUserFolderThreatsAtOnce) {
  IntegrityEventCount.store(2);
  const std::wstring dropped = PutFile(L"C:\\Users\\bob\\Downloads\\locker.exe", "MZ locker");
  HandleFlaggedFile(dropped, Flagged(9));
  const std::wstring stored = L"C:\\KestruneAV\\Quarantine\\locker.exe";
  EXPECT_FALSE(HostExists(dropped));
  EXPECT_TRUE(Logged(L"[AI] Repeat encryption \u2014 delete, continue other files: " + dropped));
  EXPECT_TRUE(Logged(L"[QUARANTINE] " + dropped + L" -> " + stored));
  EXPECT_FALSE(Logged(L"[AI] Deleted " + dropped));
  EXPECT_EQ(Balloons(), std::vector<std::wstring>{L"Threats handled. One notice for this batch."});
  EXPECT_FALSE(WifiHeld.load());  // no batch pending: released
  // As fast as before: no queue and no question.
  EXPECT_EQ(HeldCount.load(), 0);
  DecideBatch();
  EXPECT_TRUE(standin::Questions().empty());
  // A wrong judgement can be undone: the very bytes come back where they were.
  std::wstring restored;
  ASSERT_TRUE(RestoreQuarantinedFile(stored, restored));
  EXPECT_EQ(restored, dropped);
  EXPECT_EQ(HostBytes(dropped), "MZ locker");

  const std::wstring installed = PutFile(L"C:\\Apps\\locker.exe", "MZ");
  HandleFlaggedFile(installed, Flagged(9));
  EXPECT_TRUE(Logged(L"[AI] Queued for isolation: " + installed));
}

TEST_F(ThreatManagerTest, ACopysRunValueGoesEvenAfterTheTargetWasMoved) {
  constexpr wchar_t kRun[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  using platform::RegistryHive;
  const std::string threat = BuildPe({{".evil", kExecute | kWrite}}) + RandomBytes(70000);
  const struct {
    const char* road;
    std::function<void(const std::wstring& target)> take;
  } cases[] = {
      {"repeat encryption moves the target first",
       [this](const std::wstring& target) {
         IntegrityEventCount.store(2);
         HandleFlaggedFile(target, Flagged(9));
       }},
      {"the disinfection pass moves the active target first",
       [](const std::wstring& target) {
         UpdateStatus(L"Manager handling threat", target);
         RunDisinfectionPass();
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.road);
    std::filesystem::remove_all(drive_c_ / "Users");
    std::filesystem::remove_all(drive_c_ / "KestruneAV" / "Quarantine");
    ResetActivityState();
    const std::wstring target = PutFile(L"C:\\Users\\bob\\Downloads\\Update.exe", threat);
    const std::wstring copy = PutFile(L"C:\\Users\\bob\\AppData\\Roaming\\Update.exe", threat);
    standin::SetRegistryString(RegistryHive::CurrentUser, kRun, L"Copy", copy);
    c.take(target);
    EXPECT_FALSE(HostExists(target));
    EXPECT_TRUE(standin::RegistryValueNames(RegistryHive::CurrentUser, kRun).empty());
    EXPECT_TRUE(Logged(L"[PERSISTENCE] Removed Run value 'Copy' for " + target));
  }
}

TEST_F(ThreatManagerTest, AdminModeStopsTheFilesServices) {
  AdminMode.store(true);
  const std::wstring threat = PutFile(L"C:\\Users\\bob\\AppData\\svc-keylog.exe", "MZ");
  standin::AddService(L"Keylog", L"\"" + threat + L"\" -k", true);
  HandleFlaggedFile(threat, Flagged(9));
  EXPECT_EQ(standin::StoppedServices(), std::vector<std::wstring>{L"Keylog"});
}

TEST_F(ThreatManagerTest, DropperRescanIsOneLevelAndWaitsWhenBusy) {
  // Two threats side by side: the rescan after the first finds the second, which
  // does not start a rescan of its own.
  const std::wstring first = PutFile(L"C:\\Users\\bob\\Downloads\\keylog-miner-a.exe", "MZ a");
  PutFile(L"C:\\Users\\bob\\Downloads\\keylog-miner-b.exe", "MZ b");
  PutFile(L"C:\\Users\\bob\\Downloads\\notes.txt", "notes");
  ScanFile(first);
  EXPECT_EQ(RunCounters.scanned.load(), 3u);
  EXPECT_EQ(CountLines(L"[AI] Queued for isolation: "), 2);

  ResetThreatManagerForTest();
  RunCounters.scanned.store(0);
  ResetActivityState();
  {
    std::lock_guard<std::mutex> hold(ScanIndexLock);
    ScanIndex.clear();
  }
  CpuPercent.store(90.0f);
  standin::OnSleep([](uint64_t) {});
  ScanFile(first);
  EXPECT_EQ(RunCounters.scanned.load(), 1u);  // no rescan at 85 % and more
}

TEST_F(ThreatManagerTest, ManualBatchIsOneQuestionAndKeepRestoresAndTrusts) {
  std::vector<std::wstring> files;
  for (const wchar_t* name : {L"a.docx", L"b.docx", L"c.docx"}) {
    files.push_back(PutFile(std::wstring(L"C:\\Users\\bob\\Documents\\") + name, Ascii(name)));
    UpdateStatus(L"Heuristic review (not deleted)", files.back());
    QuarantineActiveTarget();
    EXPECT_EQ(ActivityLines().back(), L"Target queued for quarantine.");
  }
  DrainQueue();
  EXPECT_EQ(HeldCount.load(), 3);
  EXPECT_EQ(Balloons(), std::vector<std::wstring>{L"Threats isolated. One notice for this batch."});

  standin::QueueYesNoAnswer(false);
  DecideBatch();
  EXPECT_EQ(standin::Questions(),
            std::vector<std::wstring>{
                L"Kestrune \u2014 Delete or keep?: 3 threat(s) isolated (highest score 8 / 10).\n\nOne decision covers "
                L"every file in this batch.\n\nYes = delete all   No = keep all (restore)"});
  for (const auto& file : files) EXPECT_TRUE(HostExists(file));
  std::string safe;
  ASSERT_TRUE(ReadTextFile(SafeHashesPath, safe));
  EXPECT_EQ(std::count(safe.begin(), safe.end(), '\n'), 3);
  EXPECT_TRUE(Logged(L"[AI] User chose KEEP ALL for 3 file(s)"));
  EXPECT_EQ(HeldCount.load(), 0);
  EXPECT_EQ(Balloons().back(), L"Threats isolated. One choice for the whole batch.");

  // A second decision has nothing to ask.
  DecideBatch();
  EXPECT_EQ(standin::Questions().size(), 1u);
}

TEST_F(ThreatManagerTest, AFaultBetweenHoldAndReleaseStillReconnects) {
  standin::SetWlan(true, L"Home Net");
  // A boot file whose status cannot be read: the restart advice throws.
  standin::FailPath(L"C:\\Windows\\System32\\ntoskrnl.exe", 21);
  const std::wstring first = PutFile(L"C:\\Users\\bob\\Downloads\\keylog.exe", "MZ 1");
  EXPECT_ANY_THROW(HandleFlaggedFile(first, Flagged(9)));
  EXPECT_FALSE(WifiHeld.load());
  EXPECT_EQ(standin::WlanConnectedProfile(), L"Home Net");

  // The hold left for a pending decision ends with the decision, even a faulting one.
  const std::wstring document = PutFile(L"C:\\Users\\bob\\Documents\\x.docx", "x");
  UpdateStatus(L"Heuristic review (not deleted)", document);
  QuarantineActiveTarget();
  DrainQueue();
  IntegrityEventCount.store(2);
  const std::wstring second = PutFile(L"C:\\Users\\bob\\Desktop\\locker.exe", "MZ 2");
  HandleFlaggedFile(second, Flagged(9));
  EXPECT_TRUE(WifiHeld.load());
  EXPECT_EQ(standin::WlanConnectedProfile(), L"");
  standin::QueueYesNoAnswer(true);
  EXPECT_ANY_THROW(DecideBatch());
  EXPECT_FALSE(WifiHeld.load());
  EXPECT_EQ(standin::WlanConnectedProfile(), L"Home Net");
  EXPECT_EQ(HeldCount.load(), 0);  // the file itself was deleted before the fault
}

TEST_F(ThreatManagerTest, AFileThatCannotBeSettledStaysForTheNextDecisionAndTheRestAreSettled) {
  namespace fs = std::filesystem;
  const std::wstring kStore = L"C:\\KestruneAV\\Quarantine\\";
  const struct {
    const char* fault;
    bool delete_all;
    std::function<void(const std::wstring& original, const std::wstring& stored)> fail;
    std::function<void(const std::wstring& original, const std::wstring& stored)> mend;
    std::function<std::wstring(const std::wstring& original, const std::wstring& stored)> line;
  } cases[] = {
      {"its original's drive answers error 21: the restore throws", false,
       [](const std::wstring& original, const std::wstring&) { standin::FailPath(original, 21); },
       [](const std::wstring& original, const std::wstring&) { standin::FailPath(original, 0); },
       [](const std::wstring& original, const std::wstring&) {
         return L"[FAULT] batch-decision recovered: exists: file system error 21 on " + original;
       }},
      {"its original's folder is now a link: the restore fails", false,
       [this](const std::wstring&, const std::wstring&) {
         const fs::path folder = drive_c_ / "Users" / "bob" / "Projects";
         fs::rename(folder, folder.string() + ".before");
         fs::create_directories(drive_c_ / "Elsewhere");
         fs::create_directory_symlink(drive_c_ / "Elsewhere", folder);
       },
       [this](const std::wstring&, const std::wstring&) {
         const fs::path folder = drive_c_ / "Users" / "bob" / "Projects";
         fs::remove(folder);
         fs::rename(folder.string() + ".before", folder);
       },
       [](const std::wstring&, const std::wstring& stored) { return L"[DISINFECT] Restore failed: " + stored; }},
      {"the stored file has a second link: the delete fails", true,
       [](const std::wstring&, const std::wstring& stored) {
         fs::create_hard_link(standin::HostPath(stored), standin::HostPath(stored) + ".extra");
       },
       [](const std::wstring&, const std::wstring& stored) { fs::remove(standin::HostPath(stored) + ".extra"); },
       [](const std::wstring&, const std::wstring& stored) { return L"[AI] Delete failed: " + stored; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault);
    fs::remove_all(drive_c_ / "Users");
    fs::remove_all(drive_c_ / "KestruneAV" / "Quarantine");
    ResetActivityState();
    const std::vector<std::wstring> originals = {L"C:\\Users\\bob\\Documents\\a.docx",
                                                 L"C:\\Users\\bob\\Projects\\b.docx",
                                                 L"C:\\Users\\bob\\Documents\\c.docx"};
    for (const auto& original : originals) {
      PutFile(original, Ascii(FileNameOf(original)));
      QueueForIsolation(original, 9, true);
    }
    DrainQueue();
    ASSERT_EQ(HeldCount.load(), 3);
    const std::wstring stuck = kStore + L"b.docx";
    c.fail(originals[1], stuck);
    standin::QueueYesNoAnswer(!c.delete_all ? false : true);
    DecideBatch();
    for (const std::size_t settled : {0u, 2u}) {
      const std::wstring stored = kStore + FileNameOf(originals[settled]);
      EXPECT_FALSE(HostExists(stored));
      EXPECT_FALSE(HostExists(stored + L".log"));
      EXPECT_EQ(HostExists(originals[settled]), !c.delete_all);
    }
    EXPECT_TRUE(Logged(c.line(originals[1], stuck)));
    EXPECT_TRUE(HostExists(stuck));
    EXPECT_TRUE(HostExists(stuck + L".log"));  // it still knows where it came from
    EXPECT_EQ(HeldCount.load(), 1);

    // The next decision offers it again, alone.
    c.mend(originals[1], stuck);
    const std::size_t asked = standin::Questions().size();
    standin::QueueYesNoAnswer(!c.delete_all ? false : true);
    DecideBatch();
    ASSERT_EQ(standin::Questions().size(), asked + 1);
    EXPECT_EQ(standin::Questions().back().rfind(L"Kestrune \u2014 Delete or keep?: 1 threat(s) isolated", 0), 0u);
    EXPECT_FALSE(HostExists(stuck));
    EXPECT_EQ(HostExists(originals[1]), !c.delete_all);
    EXPECT_EQ(HeldCount.load(), 0);
  }
}

TEST_F(ThreatManagerTest, DeleteAllRemovesTheStoredFilesAndSidecars) {
  const std::wstring file = PutFile(L"C:\\Users\\bob\\Documents\\x.docx", "x");
  UpdateStatus(L"Heuristic review (not deleted)", file);
  QuarantineActiveTarget();
  DrainQueue();
  standin::QueueYesNoAnswer(true);
  DecideBatch();
  EXPECT_FALSE(HostExists(L"C:\\KestruneAV\\Quarantine\\x.docx"));
  EXPECT_FALSE(HostExists(L"C:\\KestruneAV\\Quarantine\\x.docx.log"));
  EXPECT_FALSE(HostExists(file));
  EXPECT_TRUE(Logged(L"[AI] User chose DELETE ALL for 1 file(s)"));
  EXPECT_TRUE(RestartPromptPending.load());
}

TEST_F(ThreatManagerTest, NoTargetNothingToQuarantine) {
  QuarantineActiveTarget();
  EXPECT_EQ(ActivityLines(), std::vector<std::wstring>{L"[ACTION] No active target to quarantine."});
  DrainQueue();
  EXPECT_EQ(HeldCount.load(), 0);
}

}  // namespace
