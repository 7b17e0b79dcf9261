// Response that acts only on the file it judged: a folder on the way swapped for a link,
// or another file put in the judged file's place, is refused and nothing outside the
// intended place is moved, written or deleted.
#include <filesystem>
#include <fstream>

#include "app/text_file.h"
#include "platform/verified_files.h"
#include "response/quarantine_store.h"
#include "response/threat_manager.h"
#include "scan_fixture.h"
#include "ui/taskbar_pin.h"

namespace {

namespace fs = std::filesystem;

class SwappedPathTest : public ScanTest {
 protected:
  void SetUp() override {
    ScanTest::SetUp();
    ResetThreatManagerForTest();
  }
  // The folder's content moves elsewhere and a link to the target takes its place, as a
  // junction would.
  void SwapForLink(const std::wstring& folder, const std::wstring& target) {
    const fs::path host = standin::HostPath(folder);
    fs::rename(host, host.string() + ".before");
    fs::create_directory_symlink(standin::HostPath(target), host);
  }
  bool StoreIsEmpty() {
    const fs::path store = standin::HostPath(L"C:\\KestruneAV\\Quarantine");
    return !fs::exists(store) || fs::is_empty(store);
  }
};

TEST_F(SwappedPathTest, AQuarantineWhoseFolderWasSwappedAfterTheJudgementMovesNothing) {
  const std::wstring victim = PutFile(L"C:\\Config.msi", "installer state");
  const std::wstring judged = PutFile(L"C:\\Users\\bob\\Downloads\\Config.msi", "X5O!P%@AP threat");
  HandleFlaggedFile(judged, Flagged(10));
  SwapForLink(L"C:\\Users\\bob\\Downloads", L"C:\\");
  DrainQueue();
  EXPECT_EQ(HostBytes(victim), "installer state");
  EXPECT_TRUE(StoreIsEmpty());
  EXPECT_TRUE(Logged(L"[QUARANTINE] Failed: " + judged));
}

TEST_F(SwappedPathTest, AFileJudgedThroughALinkedFolderIsNeitherContainedNorMoved) {
  const std::wstring elsewhere = L"C:\\Vendor";
  const std::wstring victim = PutFile(elsewhere + L"\\tool.exe", "MZ vendor");
  standin::AddProcess(700, L"tool.exe", victim);
  fs::create_directories(standin::HostPath(L"C:\\Users\\bob\\Downloads"));
  SwapForLink(L"C:\\Users\\bob\\Downloads", elsewhere);
  const std::wstring judged = L"C:\\Users\\bob\\Downloads\\tool.exe";
  HandleFlaggedFile(judged, Flagged(10));
  DrainQueue();
  EXPECT_EQ(HostBytes(victim), "MZ vendor");
  EXPECT_TRUE(StoreIsEmpty());
  EXPECT_TRUE(standin::TerminatedProcesses().empty());
  EXPECT_FALSE(RestartPromptPending.load());
  EXPECT_EQ(ActivityLines(), std::vector<std::wstring>{L"[QUARANTINE] Failed: " + judged});
}

TEST_F(SwappedPathTest, AnotherFilePutInTheJudgedFilesPlaceIsNotMoved) {
  const std::wstring judged = PutFile(L"C:\\Users\\bob\\Downloads\\tool.exe", "MZ threat");
  HandleFlaggedFile(judged, Flagged(10));
  // Same name, another file: the judged one was moved away, a harmless one stands there.
  fs::rename(standin::HostPath(judged), standin::HostPath(L"C:\\Users\\bob\\Downloads\\moved.bin"));
  PutFile(judged, "MZ harmless");
  DrainQueue();
  EXPECT_EQ(HostBytes(judged), "MZ harmless");
  EXPECT_TRUE(StoreIsEmpty());
  EXPECT_TRUE(Logged(L"[QUARANTINE] Failed: " + judged));
}

TEST_F(SwappedPathTest, ADeleteThroughASwappedFolderDeletesNothing) {
  const std::wstring victim = PutFile(L"C:\\Config.msi", "installer state");
  const std::wstring judged = PutFile(L"C:\\Users\\bob\\Downloads\\Config.msi", "threat");
  platform::FileIdentity identity;
  ASSERT_EQ(platform::IdentifyVerified(judged, identity), platform::Verified::Done);
  SwapForLink(L"C:\\Users\\bob\\Downloads", L"C:\\");
  DeleteThreatFile(judged, &identity);
  EXPECT_EQ(HostBytes(victim), "installer state");
  EXPECT_TRUE(Logged(L"[AI] Delete failed: " + judged));
  // Without the judged identity the link alone still refuses it.
  DeleteThreatFile(judged);
  EXPECT_EQ(HostBytes(victim), "installer state");
}

TEST_F(SwappedPathTest, RepeatEncryptionQuarantinesOnlyTheJudgedFile) {
  IntegrityEventCount.store(2);
  const std::wstring judged = PutFile(L"C:\\Users\\bob\\Downloads\\locker.exe", "MZ locker");
  HandleFlaggedFile(judged, Flagged(10));
  EXPECT_FALSE(fs::exists(standin::HostPath(judged)));
  EXPECT_EQ(HostBytes(L"C:\\KestruneAV\\Quarantine\\locker.exe"), "MZ locker");
  EXPECT_TRUE(Logged(L"[QUARANTINE] " + judged + L" -> C:\\KestruneAV\\Quarantine\\locker.exe"));
  EXPECT_FALSE(Logged(L"[AI] Deleted " + judged));
}

TEST_F(SwappedPathTest, ARestoreWhoseOriginalFolderIsALinkWritesNothingThere) {
  const std::wstring system32 = L"C:\\Windows\\System32";
  fs::create_directories(standin::HostPath(system32));
  const std::wstring judged = PutFile(L"C:\\Users\\bob\\x\\evil.dll", "MZ evil");
  std::wstring stored;
  ASSERT_TRUE(QuarantineFile(judged, stored));
  SwapForLink(L"C:\\Users\\bob\\x", system32);
  std::wstring restored;
  EXPECT_FALSE(RestoreQuarantinedFile(stored, restored));
  EXPECT_TRUE(fs::is_empty(standin::HostPath(system32)));
  EXPECT_EQ(HostBytes(stored), "MZ evil");  // still held, nothing lost
  EXPECT_TRUE(Logged(L"[DISINFECT] Restore failed: " + stored));
}

TEST_F(SwappedPathTest, ARestoreNeverOverwritesAndStillPutsTheFileBack) {
  const std::wstring original = PutFile(L"C:\\Users\\bob\\Documents\\report.docx", "old");
  std::wstring stored;
  ASSERT_TRUE(QuarantineFile(original, stored));
  PutFile(original, "newer");
  std::wstring restored;
  ASSERT_TRUE(RestoreQuarantinedFile(stored, restored));
  EXPECT_EQ(HostBytes(original), "newer");
  EXPECT_EQ(HostBytes(restored), "old");
  EXPECT_FALSE(fs::exists(standin::HostPath(stored)));
}

TEST_F(SwappedPathTest, KeepAllTrustsTheHashOfTheStoredFileNotOfWhatNowStandsThere) {
  const std::wstring file = PutFile(L"C:\\Users\\bob\\Downloads\\tool.exe", "MZ kept");
  QueueForIsolation(file, 9, true);
  DrainQueue();
  standin::QueueYesNoAnswer(false);  // keep all
  DecideBatch();
  EXPECT_EQ(HostBytes(file), "MZ kept");
  EXPECT_TRUE(IsSafeHash(ComputeFileSha256(file)));
}

TEST_F(SwappedPathTest, PinningIntoARoamingFolderThatIsALinkCopiesNothing) {
  const std::wstring elsewhere = L"C:\\Windows\\Tasks";
  fs::create_directories(standin::HostPath(elsewhere));
  fs::create_directories(standin::HostPath(L"C:\\Users\\bob\\AppData\\Roaming"));
  SwapForLink(L"C:\\Users\\bob\\AppData\\Roaming", elsewhere);
  standin::SetShellFolder(platform::ShellFolder::Desktop, L"C:\\Users\\bob\\Desktop");
  standin::SetEnvironment(L"APPDATA", L"C:\\Users\\bob\\AppData\\Roaming");
  PutFile(L"C:\\Users\\bob\\Desktop\\Kestrune AV.lnk", "desktop link");
  PinToTaskbar();
  EXPECT_TRUE(fs::is_empty(standin::HostPath(elsewhere)));
  EXPECT_EQ(standin::Notices().size(), 1u);  // the notice still explains
}

TEST_F(SwappedPathTest, APickedFolderIsMovedWholeButNeverThroughALink) {
  PutFile(L"C:\\Users\\bob\\Tools\\kit\\a.exe", "MZ a");
  std::wstring stored;
  ASSERT_TRUE(QuarantineFile(L"C:\\Users\\bob\\Tools\\kit", stored));
  EXPECT_EQ(HostBytes(stored + L"\\a.exe"), "MZ a");

  const std::wstring victim = PutFile(L"C:\\Windows\\System32\\drivers\\x.sys", "driver");
  PutFile(L"C:\\Users\\bob\\Tools\\drivers\\b.exe", "MZ b");
  SwapForLink(L"C:\\Users\\bob\\Tools", L"C:\\Windows\\System32");
  EXPECT_FALSE(QuarantineFile(L"C:\\Users\\bob\\Tools\\drivers", stored));
  EXPECT_EQ(HostBytes(victim), "driver");
  EXPECT_TRUE(Logged(L"[QUARANTINE] Failed: C:\\Users\\bob\\Tools\\drivers"));
}

TEST_F(SwappedPathTest, AStartMenuShortcutIsNotWrittenThroughALinkedFolder) {
  const std::wstring elsewhere = L"C:\\Windows\\System32\\Tasks";
  fs::create_directories(standin::HostPath(elsewhere));
  fs::create_directories(standin::HostPath(L"C:\\Users\\bob\\Start Menu\\Programs"));
  SwapForLink(L"C:\\Users\\bob\\Start Menu", elsewhere);
  fs::create_directories(standin::HostPath(elsewhere) + "/Programs");
  standin::SetShellFolder(platform::ShellFolder::Programs, L"C:\\Users\\bob\\Start Menu\\Programs");
  StampAppIdentity(false);
  EXPECT_TRUE(standin::Shortcuts().empty());
  EXPECT_TRUE(fs::is_empty(standin::HostPath(elsewhere) + "/Programs"));
}

}  // namespace
