// The quarantine store: stored names, sidecars, restore and delete.
#include <filesystem>
#include <functional>

#include "app/text_file.h"
#include "response/quarantine_store.h"
#include "scan_fixture.h"

namespace {

class QuarantineStoreTest : public ScanTest {
 protected:
  std::wstring Quarantine(const std::wstring& path) {
    std::wstring stored;
    EXPECT_TRUE(QuarantineFile(path, stored));
    return stored;
  }
  bool HostExists(const std::wstring& path) { return std::filesystem::exists(standin::HostPath(path)); }
};

TEST_F(QuarantineStoreTest, EverySameNamedFileKeepsItsOwnStoredNameAndSidecar) {
  // The clock stands still, so the second and third share one tick: the mended case.
  const std::wstring tick = std::to_wstring(standin::Now());
  const struct {
    const wchar_t* original;
    std::wstring stored;
  } cases[] = {
      {L"C:\\a\\x.exe", L"C:\\KestruneAV\\Quarantine\\x.exe"},
      {L"C:\\b\\x.exe", L"C:\\KestruneAV\\Quarantine\\x.exe." + tick},
      {L"C:\\c\\x.exe", L"C:\\KestruneAV\\Quarantine\\x.exe." + tick + L".2"},
  };
  for (const auto& c : cases) {
    PutFile(c.original, Ascii(c.original));
    EXPECT_EQ(Quarantine(c.original), c.stored);
    EXPECT_FALSE(HostExists(c.original));
  }
  for (const auto& c : cases) {
    SCOPED_TRACE(Ascii(c.stored));
    EXPECT_EQ(HostBytes(c.stored), Ascii(c.original));
    EXPECT_EQ(HostBytes(c.stored + L".log"),
              "original=" + Ascii(c.original) + "\r\nreason=heuristic-disinfect\r\n");
    EXPECT_TRUE(Logged(L"[QUARANTINE] " + std::wstring(c.original) + L" -> " + c.stored));
  }
  EXPECT_EQ(RunCounters.quarantined.load(), 3u);

  // A file named like an earlier file's sidecar never replaces that sidecar.
  PutFile(L"C:\\d\\x.exe.log", "not a sidecar");
  EXPECT_NE(Quarantine(L"C:\\d\\x.exe.log"), L"C:\\KestruneAV\\Quarantine\\x.exe.log");
  EXPECT_EQ(HostBytes(L"C:\\KestruneAV\\Quarantine\\x.exe.log").rfind("original=C:\\a\\x.exe", 0), 0u);
}

TEST_F(QuarantineStoreTest, AcrossVolumesTheFileIsCopiedThenRemoved) {
  const auto other = drive_c_.string() + "-d";
  std::filesystem::create_directories(other);
  standin::MapDrive(L'D', other);
  PutFile(L"D:\\stick\\run.exe", "MZ payload");
  EXPECT_EQ(Quarantine(L"D:\\stick\\run.exe"), L"C:\\KestruneAV\\Quarantine\\run.exe");
  EXPECT_EQ(HostBytes(L"C:\\KestruneAV\\Quarantine\\run.exe"), "MZ payload");
  EXPECT_FALSE(HostExists(L"D:\\stick\\run.exe"));
  std::filesystem::remove_all(other);

  std::wstring stored;
  EXPECT_FALSE(QuarantineFile(L"C:\\gone\\x.exe", stored));  // nothing there, nothing said
  EXPECT_EQ(CountLines(L"[QUARANTINE] Failed"), 0);
}

TEST_F(QuarantineStoreTest, SidecarPathsRoundTripAsUtf8) {
  const std::wstring ascii = L"C:\\Users\\bob\\Downloads\\setup.exe";
  EXPECT_EQ(SidecarText(ascii), "original=C:\\Users\\bob\\Downloads\\setup.exe\nreason=heuristic-disinfect\n");
  const std::wstring wide = L"C:\\Users\\Zo\u00eb\\\u62a5\u544a\\notes.txt";
  EXPECT_EQ(SidecarOriginal(SidecarText(wide)), wide);
  EXPECT_EQ(SidecarOriginal("reason=x\noriginal=C:\\caf\xe9.txt\n"), L"C:\\caf\u00e9.txt");  // an older 8-bit sidecar
  EXPECT_EQ(SidecarOriginal("reason=heuristic-disinfect\n"), L"");
}

TEST_F(QuarantineStoreTest, RestoreGoesBackWithoutOverwritingANewerFile) {
  const std::wstring original = L"C:\\Users\\bob\\Documents\\report.docx";
  PutFile(original, "quarantined bytes");
  const std::wstring stored = Quarantine(original);
  std::wstring restored;
  ASSERT_TRUE(RestoreQuarantinedFile(stored, restored));
  EXPECT_EQ(restored, original);
  EXPECT_EQ(HostBytes(original), "quarantined bytes");
  EXPECT_FALSE(HostExists(stored));
  EXPECT_FALSE(HostExists(stored + L".log"));
  EXPECT_TRUE(Logged(L"[DISINFECT] Restored " + original));

  // The user put a new report there since: the old one comes back beside it.
  const std::wstring again = Quarantine(original);
  PutFile(original, "the user's new report");
  ASSERT_TRUE(RestoreQuarantinedFile(again, restored));
  EXPECT_EQ(restored, L"C:\\Users\\bob\\Documents\\report (restored).docx");
  EXPECT_EQ(HostBytes(original), "the user's new report");
  EXPECT_EQ(HostBytes(restored), "quarantined bytes");
  EXPECT_TRUE(Logged(L"[DISINFECT] Restored " + restored + L" \u2014 a newer file keeps the name " + original));
  EXPECT_EQ(FreeRestoreName(original), L"C:\\Users\\bob\\Documents\\report (restored 2).docx");
}

TEST_F(QuarantineStoreTest, RestoreWithoutSidecarOrStoredFile) {
  PutFile(L"C:\\Tools\\kit.exe", "kit");
  const std::wstring stored = Quarantine(L"C:\\Tools\\kit.exe");
  std::filesystem::remove(standin::HostPath(stored + L".log"));
  std::wstring restored;
  ASSERT_TRUE(RestoreQuarantinedFile(stored, restored));
  EXPECT_EQ(restored, L"C:\\KestruneAV\\Restored\\kit.exe");
  EXPECT_EQ(HostBytes(restored), "kit");
  EXPECT_FALSE(RestoreQuarantinedFile(stored, restored));  // gone now: false, no line
  EXPECT_EQ(CountLines(L"[DISINFECT] "), 1);
}

TEST_F(QuarantineStoreTest, AQuarantineThatFailsLeavesTheFileInPlaceAndNothingInTheStore) {
  const struct {
    const char* fault;
    std::function<void(const std::wstring& original, platform::FileIdentity& judged)> fail;
  } cases[] = {
      {"the store's disk is full: the sidecar cannot be written",
       [](const std::wstring& original, platform::FileIdentity& judged) {
         standin::FailWritesUnder(L"C:\\KestruneAV\\Quarantine");
         platform::IdentifyVerified(original, judged);
       }},
      {"another file stands in the judged one's place: the move is refused",
       [](const std::wstring&, platform::FileIdentity& judged) { judged.id_low ^= 1; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault);
    ScanTest::SetUp();  // a fresh machine for each row
    const std::wstring original = PutFile(L"C:\\Users\\bob\\Downloads\\tool.exe", "MZ tool");
    platform::FileIdentity judged;
    ASSERT_EQ(platform::IdentifyVerified(original, judged), platform::Verified::Done);
    c.fail(original, judged);
    std::wstring stored;
    EXPECT_FALSE(QuarantineFile(original, stored, &judged));
    EXPECT_EQ(HostBytes(original), "MZ tool");
    EXPECT_TRUE(std::filesystem::is_empty(standin::HostPath(L"C:\\KestruneAV\\Quarantine")));
    EXPECT_EQ(ActivityLines(), std::vector<std::wstring>{L"[QUARANTINE] Failed: " + original});
    EXPECT_EQ(RunCounters.quarantined.load(), 0u);
  }
}

TEST_F(QuarantineStoreTest, APathLongerThan259CharactersGoesAndComesBack) {
  std::wstring folder = L"C:\\Users\\bob\\Documents";
  for (int level = 0; folder.size() < 280; ++level) folder += L"\\project-archive-" + std::to_wstring(level) + L"-quarterly-reports";
  const std::wstring original = folder + L"\\figures.xlsx";
  ASSERT_GE(original.size(), 300u);
  PutFile(original, "long-path bytes");
  const std::wstring stored = Quarantine(original);
  EXPECT_EQ(stored, L"C:\\KestruneAV\\Quarantine\\figures.xlsx");
  EXPECT_FALSE(HostExists(original));
  EXPECT_EQ(HostBytes(stored + L".log"), "original=" + Ascii(original) + "\r\nreason=heuristic-disinfect\r\n");
  std::wstring restored;
  ASSERT_TRUE(RestoreQuarantinedFile(stored, restored));
  EXPECT_EQ(restored, original);
  EXPECT_EQ(HostBytes(original), "long-path bytes");
}

TEST_F(QuarantineStoreTest, DeleteLeavesSystemFoldersAlone) {
  const std::wstring system = PutFile(L"C:\\Windows\\System32\\evil.dll", "x");
  DeleteThreatFile(system);
  DeleteThreatFile(L"");
  EXPECT_TRUE(HostExists(system));
  EXPECT_TRUE(ActivityLines().empty());

  const std::wstring locked = PutFile(L"C:\\Users\\bob\\Downloads\\readonly.exe", "x");
  std::filesystem::permissions(standin::HostPath(locked), std::filesystem::perms::owner_read);
  DeleteThreatFile(locked);
  EXPECT_FALSE(HostExists(locked));
  EXPECT_EQ(ActivityLines().back(), L"[AI] Deleted " + locked);
}

}  // namespace
