// The engine marker's backup and restore, the two folder listings and the raw
// volume probe on the real file system.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "app/activity_log.h"
#include "app/data_dir.h"
#include "engine/hash_lists.h"
#include "engine/verdict.h"
#include "inspect/cross_view.h"
#include "inspect/volume_check.h"
#include "platform/drives.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "temp_folder.h"
#include "upkeep/admin_mode.h"
#include "upkeep/integrity.h"

namespace {
constexpr char kHealthyMarker[] = "kestrune.engine=heuristic\r\nversion=2.0\r\n";

std::string Bytes(const std::wstring& path) {
  std::string bytes;
  platform::ReadFileBytes(path, bytes);
  return bytes;
}

bool IsReadOnly(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

std::string Noise(std::size_t count) {
  std::string bytes(count, '\0');
  uint32_t state = 12345;
  for (char& byte : bytes) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<char>(state >> 24);
  }
  return bytes;
}

class IntegrityWin32Test : public TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    ResetActivityState();
    DataDir = root_;
    EngineMarkerPath = root_ + L"\\engine.marker";
    EngineMarkerBackupPath = root_ + L"\\engine.marker.bak";
    IntegrityEventCount.store(0);
  }
  void TearDown() override {
    AdminMode.store(false);
    IntegrityEventCount.store(0);
    ResetDataPathsForTest();
    ResetActivityState();
    TempFolderTest::TearDown();
  }
};
}  // namespace

TEST_F(IntegrityWin32Test, BackupIsRefreshedThroughItsReadOnlyAttributeAndRestoresTheMarker) {
  LoadBadHashes();  // writes the marker
  ASSERT_EQ(Bytes(EngineMarkerPath), kHealthyMarker);
  RefreshMarkerBackup();
  EXPECT_EQ(Bytes(EngineMarkerBackupPath), kHealthyMarker);
  EXPECT_TRUE(IsReadOnly(EngineMarkerBackupPath));

  const std::string newer = "kestrune.engine=heuristic\r\nversion=2.1\r\n";
  ASSERT_TRUE(platform::WriteFileBytes(EngineMarkerPath, newer));
  RefreshMarkerBackup();
  EXPECT_EQ(Bytes(EngineMarkerBackupPath), newer);
  EXPECT_TRUE(IsReadOnly(EngineMarkerBackupPath));

  ASSERT_TRUE(platform::WriteFileBytes(EngineMarkerPath, Noise(4096)));
  RunIntegrityCheck();
  EXPECT_EQ(Bytes(EngineMarkerPath), newer);
  EXPECT_FALSE(IsReadOnly(EngineMarkerPath));
  EXPECT_TRUE(IsReadOnly(EngineMarkerBackupPath));
  const auto lines = ActivityLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      L"[INTEGRITY] Engine marker looks scrambled (event 1). Restoring backup."),
            lines.end());
}

TEST_F(IntegrityWin32Test, TheTwoListingsOfARealFolderAgree) {
  const std::wstring folder = root_ + L"\\listed";
  ASSERT_TRUE(platform::MakeDirectories(folder + L"\\sub"));
  for (const wchar_t* name : {L"a.txt", L"B.LOG", L"hidden.dat", L"no-extension"}) {
    ASSERT_TRUE(platform::WriteFileBytes(folder + L"\\" + name, "x"));
  }
  SetFileAttributesW((folder + L"\\hidden.dat").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);

  std::set<std::wstring> found;
  platform::VisitFolder(folder, [&found](const platform::FolderEntry& entry) {
    if (!entry.is_directory) found.insert(entry.name);
    return true;
  });
  std::set<std::wstring> library;
  std::set<std::wstring> library_paths;
  EXPECT_TRUE(platform::VisitFolderThroughLibrary(folder, [&](const platform::LibraryEntry& entry) {
    if (entry.is_regular_file) library.insert(entry.path.substr(entry.path.rfind(L'\\') + 1));
    library_paths.insert(entry.path);
  }));
  EXPECT_EQ(found, (std::set<std::wstring>{L"a.txt", L"B.LOG", L"hidden.dat", L"no-extension"}));
  EXPECT_EQ(library, found);
  EXPECT_EQ(library_paths.count(folder + L"\\sub"), 1u);  // listed, but not a regular file

  CrossViewFolder(folder);
  CheckUserModeHiding(folder + L"\\");
  EXPECT_TRUE(ActivityLines().empty());
  EXPECT_FALSE(platform::VisitFolderThroughLibrary(root_ + L"\\missing", [](const platform::LibraryEntry&) {}));
}

TEST_F(IntegrityWin32Test, TemporaryFolderEndsWithASeparator) {
  std::wstring temp;
  ASSERT_TRUE(platform::TempFolder(temp));
  EXPECT_EQ(temp.back(), L'\\');
  bool listed = false;
  EXPECT_TRUE(platform::VisitFolderThroughLibrary(temp, [&](const platform::LibraryEntry& entry) {
    listed = listed || entry.path == root_;
    EXPECT_EQ(entry.path.find(L"\\\\"), std::wstring::npos);
  }));
  EXPECT_TRUE(listed);
}

TEST_F(IntegrityWin32Test, RawVolumeProbe) {
  EXPECT_TRUE(ProbeSystemVolume());  // user mode: nothing is opened
  EXPECT_FALSE(platform::ProbeRawVolume(L"\\\\.\\Q:"));  // no such volume
  AdminMode.store(true);
  const bool opens = platform::ProbeRawVolume(L"\\\\.\\C:");
  EXPECT_EQ(ProbeSystemVolume(), opens);
  CheckSystemVolume();
  EXPECT_EQ(ActivityLines().empty(), opens);
  std::printf("raw volume \\\\.\\C: %s\n", opens ? "opens" : "does not open");
}
