#include <fstream>

#include "platform/files.h"

#include "standin_fixture.h"

class DataDirTest : public StandinTest {
 protected:
  bool HostDirExists(const std::wstring& path) {
    return std::filesystem::is_directory(standin::HostPath(path));
  }
  void WriteTerms(const std::string& bytes) {
    std::filesystem::create_directories(drive_c_ / "KestruneAV");
    std::ofstream(drive_c_ / "KestruneAV" / "terms_accepted.txt", std::ios::binary) << bytes;
  }
};

TEST_F(DataDirTest, UsesTheProgramDataKnownFolderAndCreatesItsFolders) {
  standin::SetAdministrator(true);
  standin::SetKnownFolder(platform::KnownFolder::ProgramData, L"C:\\ProgramData");
  InitPaths();
  EXPECT_EQ(DataDir, L"C:\\ProgramData\\KestruneAV");
  EXPECT_EQ(QuarantineDir, L"C:\\ProgramData\\KestruneAV\\Quarantine");
  EXPECT_EQ(SnapshotsDir, L"C:\\ProgramData\\KestruneAV\\Snapshots");
  EXPECT_EQ(ScanIndexPath, L"C:\\ProgramData\\KestruneAV\\scan-index.dat");
  EXPECT_TRUE(HostDirExists(QuarantineDir));
  EXPECT_TRUE(HostDirExists(SnapshotsDir));
  // Snapshots are created before Quarantine.
  EXPECT_LT(standin::JournalIndex("MakeGuardedFolder C:\\ProgramData\\KestruneAV\\Snapshots"),
            standin::JournalIndex("MakeGuardedFolder C:\\ProgramData\\KestruneAV\\Quarantine"));
}

TEST_F(DataDirTest, WithoutTheKnownFolderEverythingGoesUnderCKestruneAV) {
  InitPaths();
  const std::wstring base = L"C:\\KestruneAV";
  const std::pair<const std::wstring*, const wchar_t*> paths[] = {
      {&DataDir, L""},
      {&QuarantineDir, L"\\Quarantine"},
      {&SnapshotsDir, L"\\Snapshots"},
      {&EngineMarkerPath, L"\\engine.marker"},
      {&EngineMarkerBackupPath, L"\\engine.marker.bak"},
      {&AdminPreferencePath, L"\\admin_preference.txt"},
      {&TermsPath, L"\\terms_accepted.txt"},
      {&SafeHashesPath, L"\\safe-hashes.txt"},
      {&ScanIndexPath, L"\\scan-index.dat"},
      {&TelemetryPath, L"\\telemetry.txt"},
  };
  for (const auto& [path, tail] : paths) EXPECT_EQ(*path, base + tail);
  EXPECT_TRUE(std::filesystem::is_directory(drive_c_ / "KestruneAV" / "Quarantine"));
}

TEST_F(DataDirTest, FirstLinesNameTheQuarantineFolderAndTheOs) {
  standin::SetOs(22631, true);
  InitPaths();
  EXPECT_EQ(ActivityLines(), (std::vector<std::wstring>{
                                 L"[ENGINE] Heuristic scan plus 0 local bad hashes. No cloud lookup, so a dead "
                                 L"network cannot stall a scan.",
                                 L"[SYSTEM] Detection core online. Quarantine=C:\\KestruneAV\\Quarantine",
                                 L"[SYSTEM] OS profile: Windows 11  build 22631",
                             }));
}

TEST_F(DataDirTest, TermsCountAsAcceptedOnlyWhenTheFirstWordIsYes) {
  const struct {
    const char* bytes;
    bool accepted;
  } cases[] = {
      {"yes", true},          {"yes\r\n", true},     {"  \tyes and more\r\nno\r\n", true},
      {"\r\n\r\nyes", true},  {"Yes", false},        {"YES", false},
      {"yes.", false},        {"yess", false},       {"", false},
      {"no yes", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    WriteTerms(c.bytes);
    InitPaths();
    EXPECT_EQ(TermsPending.load(), !c.accepted);
  }
}

TEST_F(DataDirTest, MissingTermsFileLeavesTermsPending) {
  InitPaths();
  EXPECT_TRUE(TermsPending.load());
}

TEST_F(DataDirTest, ExistenceTestsTreatTheNotFoundFamilyAsAbsent) {
  for (uint32_t code : {2u, 3u, 53u, 64u, 123u, 161u, 267u}) {
    SCOPED_TRACE(code);
    standin::FailPath(L"C:\\x", code);
    EXPECT_FALSE(platform::PathExists(L"C:\\x"));
  }
  standin::FailPath(L"C:\\x", 5);  // access denied is a fault, not an absence
  EXPECT_THROW(platform::PathExists(L"C:\\x"), std::runtime_error);
}
