// A symbolic link is judged as the file it leads to: its own status (size 0) would
// let every link through as a download that has not finished.
#include <filesystem>

#include "engine/path_classes.h"
#include "platform/files.h"
#include "platform/folder_changes.h"
#include "scan/downloads_watch.h"
#include "scan/file_scan.h"
#include "scan_fixture.h"

class LinkedFileTest : public ScanTest {
 protected:
  // A host symbolic link at link_path to target_path, both Windows paths on C:.
  std::wstring PlantLink(const std::wstring& link_path, const std::wstring& target_path) {
    const std::filesystem::path host = standin::HostPath(link_path);
    std::filesystem::create_directories(host.parent_path());
    std::filesystem::create_symlink(standin::HostPath(target_path), host);
    return link_path;
  }
};

TEST_F(LinkedFileTest, TheLinksOwnStatusAndItsTargets) {
  const std::wstring target = PutFile(L"C:\\Data\\payload.bin", std::string(5000, 'p'));
  const std::wstring link = PlantLink(L"C:\\Users\\bob\\Downloads\\tool.exe", target);
  platform::FileInfo own;
  ASSERT_TRUE(platform::QueryFileInfo(link, own));  // as GetFileAttributesExW
  EXPECT_TRUE(own.is_reparse_point);
  EXPECT_FALSE(own.is_directory);
  EXPECT_EQ(own.size, 0u);
  platform::FileInfo followed;
  ASSERT_TRUE(platform::QueryFileInfoOfTarget(link, followed));  // through a handle on the path
  EXPECT_EQ(followed.size, 5000u);
  EXPECT_FALSE(followed.is_reparse_point);
  platform::FileInfo judged;
  ASSERT_TRUE(QueryJudgedFileInfo(link, judged));
  EXPECT_EQ(judged.size, 5000u);
  EXPECT_TRUE(judged.is_reparse_point);
  EXPECT_TRUE(IsCompleteFile(link));

  // A link with nothing behind it is no complete file.
  const std::wstring dangling = PlantLink(L"C:\\Users\\bob\\Downloads\\gone.exe", L"C:\\Data\\missing.bin");
  EXPECT_FALSE(platform::QueryFileInfoOfTarget(dangling, followed));
  EXPECT_FALSE(IsCompleteFile(dangling));
}

TEST_F(LinkedFileTest, ALinkedFileInDownloadsIsScoredAsItsTarget) {
  // Packed with a writable code section, behind a link named like a download:
  // high entropy 3, RWX 3, user-writable 2, dropped binary 1.
  const std::wstring target =
      PutFile(L"C:\\Data\\payload.bin", BuildPe({{".evil", kExecute | kWrite}}) + RandomBytes(1048576));
  const std::wstring link = PlantLink(L"C:\\Users\\bob\\Downloads\\tool.exe", target);
  standin::QueueFolderChanges(kDownloads, {{platform::kChangeAdded, L"tool.exe"}});
  WatchDownloads();
  EXPECT_EQ(CountLines(L"[DOWNLOAD] "), 0);
  EXPECT_EQ(RunCounters.scanned.load(), 1u);
  EXPECT_TRUE(Logged(L"[AI] Manager taking over: Heuristic score=9 (Backend AI allowed high-entropy rwx-section "
                     L"user-writable-path dropped-binary )"));
  // The response never acts through a link: nothing is moved, the target stays.
  EXPECT_TRUE(Logged(L"[QUARANTINE] Failed: " + link));
  EXPECT_TRUE(std::filesystem::is_symlink(std::filesystem::symlink_status(standin::HostPath(link))));
  EXPECT_TRUE(std::filesystem::exists(standin::HostPath(target)));

  // The stamp is the target's: unchanged, the link is skipped; a new target is judged.
  ScanFile(link);
  EXPECT_EQ(RunCounters.skipped_unchanged.load(), 1u);
  PutFile(target, "plain text now, of another size");
  ScanFile(link);
  EXPECT_EQ(RunCounters.scanned.load(), 2u);

  // A dangling link still waits like a download that has not finished.
  const std::wstring dangling = PlantLink(L"C:\\Users\\bob\\Downloads\\gone.exe", L"C:\\Data\\missing.bin");
  ScanFile(dangling);
  EXPECT_TRUE(Logged(L"[DOWNLOAD] Allowed to finish, will scan after: " + dangling));
}
