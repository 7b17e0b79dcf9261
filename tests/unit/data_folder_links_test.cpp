// Links planted where the program keeps its data: a refused folder, and writers that
// never follow a link or a second hard link to another file.
#include <filesystem>

#include "app/text_file.h"
#include "platform/files.h"
#include "response/quarantine_store.h"
#include "standin_fixture.h"

namespace {

class DataFolderLinksTest : public StandinTest {
 protected:
  // A folder where a planted link would send the program's files.
  std::filesystem::path Elsewhere() {
    const auto target = drive_c_ / "Windows" / "System32";
    std::filesystem::create_directories(target);
    return target;
  }
  void PlantFolderLink(const std::wstring& windows_path) {
    const auto link = standin::HostPath(windows_path);
    std::filesystem::create_directories(std::filesystem::path(link).parent_path());
    std::filesystem::create_directory_symlink(Elsewhere(), link);
  }
  bool Logged(const std::wstring& line) {
    const auto lines = ActivityLines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
};

TEST_F(DataFolderLinksTest, ADataFolderThatIsALinkIsRefusedAndNothingIsWrittenThroughIt) {
  PlantFolderLink(L"C:\\KestruneAV");
  InitPaths();
  for (const std::wstring* path : {&DataDir, &QuarantineDir, &SnapshotsDir, &EngineMarkerPath, &TermsPath,
                                   &ScanIndexPath, &TelemetryPath, &AdminPreferencePath}) {
    EXPECT_TRUE(path->empty());
  }
  EXPECT_TRUE(Logged(L"[SECURITY] Folder refused, it is a link (junction or symbolic link): C:\\KestruneAV"));
  EXPECT_TRUE(Logged(L"[SYSTEM] Detection core online. Quarantine="));
  EXPECT_TRUE(TermsPending.load());
  EXPECT_TRUE(std::filesystem::is_empty(Elsewhere()));
  // Nor does the bad-hash list fall back to the working folder.
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::current_path() / "bad-hashes.txt"));
}

TEST_F(DataFolderLinksTest, ASubFolderThatIsALinkTurnsOffOnlyWhatLivesThere) {
  PlantFolderLink(L"C:\\KestruneAV\\Quarantine");
  InitPaths();
  EXPECT_EQ(DataDir, L"C:\\KestruneAV");
  EXPECT_EQ(SnapshotsDir, L"C:\\KestruneAV\\Snapshots");
  EXPECT_TRUE(QuarantineDir.empty());
  EXPECT_TRUE(Logged(L"[SECURITY] Folder refused, it is a link (junction or symbolic link): "
                     L"C:\\KestruneAV\\Quarantine"));

  const std::wstring threat = PutFile(L"C:\\Users\\bob\\Downloads\\bad.exe", "MZ");
  std::wstring stored;
  EXPECT_FALSE(QuarantineFile(threat, stored));
  EXPECT_EQ(HostBytes(threat), "MZ");  // left where it was rather than moved through the link
  EXPECT_TRUE(std::filesystem::is_empty(Elsewhere()));
}

TEST_F(DataFolderLinksTest, AQuarantineFolderSwappedForALinkDuringTheRunIsNotMovedInto) {
  InitPaths();
  std::filesystem::remove_all(standin::HostPath(QuarantineDir));
  PlantFolderLink(QuarantineDir);
  const std::wstring threat = PutFile(L"C:\\Users\\bob\\Downloads\\bad.exe", "MZ");
  std::wstring stored;
  EXPECT_FALSE(QuarantineFile(threat, stored));
  EXPECT_TRUE(Logged(L"[QUARANTINE] Failed: " + threat));
  EXPECT_TRUE(std::filesystem::is_empty(Elsewhere()));
}

TEST_F(DataFolderLinksTest, ARestoredFolderThatIsALinkIsNotRestoredInto) {
  InitPaths();
  const std::wstring kit = PutFile(L"C:\\Tools\\kit.exe", "kit");
  std::wstring stored;
  ASSERT_TRUE(QuarantineFile(kit, stored));
  std::filesystem::remove(standin::HostPath(stored + L".log"));  // no original: it goes to Restored
  PlantFolderLink(L"C:\\KestruneAV\\Restored");
  std::wstring restored;
  EXPECT_FALSE(RestoreQuarantinedFile(stored, restored));
  EXPECT_TRUE(Logged(L"[DISINFECT] Restore failed: " + stored));
  EXPECT_TRUE(std::filesystem::is_empty(Elsewhere()));
  EXPECT_EQ(HostBytes(stored), "kit");  // still held
}

TEST_F(DataFolderLinksTest, AFolderOthersMayStillWriteToIsUsedWithAWarning) {
  standin::MakeFolderUnguardable(L"C:\\KestruneAV");
  InitPaths();
  EXPECT_EQ(DataDir, L"C:\\KestruneAV");
  EXPECT_TRUE(Logged(L"[SECURITY] Other accounts may still write to this folder (its access list could not be "
                     L"restricted): C:\\KestruneAV"));
}

TEST_F(DataFolderLinksTest, WritersRefuseAPlantedLinkOrHardLinkAndLeaveItsTargetAlone) {
  InitPaths();
  const std::wstring victim = PutFile(L"C:\\Windows\\System32\\drivers\\etc\\hosts", "127.0.0.1 localhost\r\n");
  const std::wstring source = PutFile(L"C:\\KestruneAV\\source.bin", "planted-over");
  const std::wstring replacement = PutFile(L"C:\\KestruneAV\\replacement.tmp", "replaced");
  const struct {
    const char* writer;
    bool (*write)(const std::wstring& path, const std::wstring& source, const std::wstring& replacement);
  } writers[] = {
      {"WriteFileBytes", [](const std::wstring& path, const std::wstring&, const std::wstring&) {
         return platform::WriteFileBytes(path, "yes");
       }},
      {"AppendFileBytes", [](const std::wstring& path, const std::wstring&, const std::wstring&) {
         return platform::AppendFileBytes(path, "yes");
       }},
      {"WriteTextFile", [](const std::wstring& path, const std::wstring&, const std::wstring&) {
         return WriteTextFile(path, "yes\n");
       }},
      {"CopyFileOver", [](const std::wstring& path, const std::wstring& from, const std::wstring&) {
         return platform::CopyFileOver(from, path);
       }},
      {"ReplaceFileWith", [](const std::wstring& path, const std::wstring&, const std::wstring& with) {
         return platform::ReplaceFileWith(path, with);
       }},
  };
  for (const bool hard : {false, true}) {
    for (const auto& writer : writers) {
      const auto link = standin::HostPath(TermsPath);
      std::filesystem::remove(link);
      if (hard) {
        std::filesystem::create_hard_link(standin::HostPath(victim), link);
      } else {
        std::filesystem::create_symlink(standin::HostPath(victim), link);
      }
      EXPECT_FALSE(writer.write(TermsPath, source, replacement)) << writer.writer << (hard ? " hard" : " symbolic");
      EXPECT_EQ(HostBytes(victim), "127.0.0.1 localhost\r\n") << writer.writer << (hard ? " hard" : " symbolic");
    }
  }
  // A plain file is written as before.
  std::filesystem::remove(standin::HostPath(TermsPath));
  EXPECT_TRUE(platform::WriteFileBytes(TermsPath, "yes"));
  EXPECT_EQ(HostBytes(TermsPath), "yes");
}

}  // namespace
