// The quarantine store over the real Windows layer: rename, cross-volume copy,
// restore and delete on real files.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/activity_log.h"
#include "app/data_dir.h"
#include "platform/files.h"
#include "response/quarantine_store.h"
#include "temp_folder.h"

namespace {

class QuarantineWin32Test : public TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    ResetActivityState();
    DataDir = root_ + L"\\data";
    QuarantineDir = DataDir + L"\\Quarantine";
    // Z: is Wine's view of the Unix root: another volume as Windows sees it.
    other_ = L"Z:\\tmp\\kav-quarantine-" + std::to_wstring(GetCurrentProcessId());
    platform::MakeDirectories(other_);
  }
  void TearDown() override {
    RemoveTree(other_);
    ResetDataPathsForTest();
    ResetActivityState();
    TempFolderTest::TearDown();
  }
  static std::string Read(const std::wstring& path) {
    std::string bytes;
    return platform::ReadFileBytes(path, bytes) ? bytes : "<missing>";
  }
  std::wstring other_;
};

TEST_F(QuarantineWin32Test, QuarantineRestoreAndDeleteOnRealFiles) {
  const struct {
    std::wstring folder;
    const char* what;
  } sources[] = {{L"", "same volume"}, {L"z", "another volume"}};
  for (const auto& source : sources) {
    SCOPED_TRACE(source.what);
    const std::wstring folder = source.folder.empty() ? root_ + L"\\downloads" : other_;
    platform::MakeDirectories(folder);
    const std::wstring original = folder + L"\\setup.exe";
    ASSERT_TRUE(platform::WriteFileBytes(original, std::string("MZ\0payload", 10)));

    std::wstring stored;
    ASSERT_TRUE(QuarantineFile(original, stored));
    EXPECT_EQ(Read(stored), std::string("MZ\0payload", 10));
    EXPECT_FALSE(platform::PathExists(original));
    std::string sidecar;
    ASSERT_TRUE(platform::ReadFileBytes(stored + L".log", sidecar));
    EXPECT_EQ(sidecar, "original=" + std::string(original.begin(), original.end()) +
                           "\r\nreason=heuristic-disinfect\r\n");

    std::wstring restored;
    ASSERT_TRUE(RestoreQuarantinedFile(stored, restored));
    EXPECT_EQ(restored, original);
    EXPECT_EQ(Read(original), std::string("MZ\0payload", 10));
    EXPECT_FALSE(platform::PathExists(stored));
    EXPECT_FALSE(platform::PathExists(stored + L".log"));

    // A read-only file is deleted too.
    SetFileAttributesW(original.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    DeleteThreatFile(original);
    EXPECT_FALSE(platform::PathExists(original));
    EXPECT_EQ(ActivityLines().back(), L"[AI] Deleted " + original);
  }
}

}  // namespace
