// Snapshots and rollback: a file that turns into noise is put back, and nothing the
// user wrote is ever lost on the way.
#include <filesystem>

#include "engine/path_classes.h"
#include "response/snapshots.h"
#include "scan_fixture.h"

namespace {

class SnapshotTest : public ScanTest {
 protected:
  const std::wstring report_ = L"C:\\Users\\bob\\Documents\\report.txt";
  std::wstring SnapshotOfReport() { return SnapshotPathFor(report_); }
  bool HostExists(const std::wstring& path) { return std::filesystem::exists(standin::HostPath(path)); }
  std::size_t SnapshotFolderFiles() {
    const auto folder = standin::HostPath(SnapshotsDir);
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
  }
};

TEST_F(SnapshotTest, NamesFollowThePathAndLongOnesStayApart) {
  EXPECT_EQ(SnapshotPathFor(L"C:\\Users\\ann\\Documents\\report.docx"),
            L"C:\\KestruneAV\\Snapshots\\C__Users_ann_Documents_report.docx.snapshot");
  EXPECT_EQ(SnapshotPathFor(L"D:/x:y"), L"C:\\KestruneAV\\Snapshots\\D__x_y.snapshot");
  const std::wstring fits = L"C:\\" + std::wstring(117, L'a');  // 120 characters once replaced
  EXPECT_EQ(SnapshotPathFor(fits), L"C:\\KestruneAV\\Snapshots\\C__" + std::wstring(117, L'a') + L".snapshot");

  // Two long paths that agree in their last 120 characters get two snapshots.
  const std::wstring tail = L"\\" + std::wstring(130, L'x') + L"\\notes.txt";
  const std::wstring first = SnapshotPathFor(L"C:\\Users\\ann" + tail);
  const std::wstring second = SnapshotPathFor(L"C:\\Users\\bob" + tail);
  EXPECT_NE(first, second);
  for (const auto& name : {first, second}) {
    const std::wstring file = name.substr(SnapshotsDir.size() + 1);
    EXPECT_EQ(file.size(), 120u + 9u);
    EXPECT_TRUE(EndsWith(file, L"notes.txt~" + file.substr(104, 16) + L".snapshot"));
  }
  // The same file named in another letter case keeps its one snapshot.
  EXPECT_EQ(SnapshotPathFor(L"C:\\USERS\\ANN" + tail), first);

  SnapshotsDir.clear();
  EXPECT_EQ(SnapshotPathFor(report_), L"");
}

TEST_F(SnapshotTest, EncryptedTextIsRolledBackAndTheNoiseIsKept) {
  const std::string text = TextBytes(10 * 1024);
  PutFile(report_, text);
  SnapshotOrRestore(report_);
  ASSERT_EQ(HostBytes(SnapshotOfReport()), text);

  const std::string noise = RandomBytes(10 * 1024 + 16);
  PutFile(report_, noise);
  SnapshotOrRestore(report_);
  EXPECT_EQ(HostBytes(report_), text);
  EXPECT_TRUE(Logged(L"[ROLLBACK] Restored after change: " + report_));
  EXPECT_EQ(HostBytes(SnapshotOfReport()), text);  // the snapshot is left as it was
  // A wrong rollback can be undone by hand from the copy beside the snapshot.
  EXPECT_EQ(HostBytes(ReplacedContentPathFor(SnapshotOfReport())), noise);
  EXPECT_EQ(SnapshotFolderFiles(), 2u);  // no temporary file left behind

  // The latest replaced content is the one kept.
  const std::string other_noise = RandomBytes(9000, 99);
  PutFile(report_, other_noise);
  SnapshotOrRestore(report_);
  EXPECT_EQ(HostBytes(report_), text);
  EXPECT_EQ(HostBytes(ReplacedContentPathFor(SnapshotOfReport())), other_noise);
}

TEST_F(SnapshotTest, OrdinaryEditsRefreshTheSnapshot) {
  PutFile(report_, TextBytes(4000));
  SnapshotOrRestore(report_);
  const std::string edited = TextBytes(5000, "second draft with more lines\r\n");
  PutFile(report_, edited);
  SnapshotOrRestore(report_);
  EXPECT_EQ(HostBytes(report_), edited);
  EXPECT_EQ(HostBytes(SnapshotOfReport()), edited);
  EXPECT_EQ(CountLines(L"[ROLLBACK] "), 0);
}

TEST_F(SnapshotTest, SizeWindowAndExcludedPlaces) {
  const struct {
    const wchar_t* path;
    uint64_t size;
    bool snapshotted;
  } cases[] = {
      {L"C:\\Users\\bob\\empty.txt", 0, false},
      {L"C:\\Users\\bob\\one.txt", 1, true},
      {L"C:\\Users\\bob\\exactly16.bin", 16777216, true},
      {L"C:\\Users\\bob\\over16.bin", 16777217, false},
      {L"C:\\Users\\bob\\big.bin", 20u << 20, false},
      {L"C:\\Windows\\System32\\drivers\\x.sys", 100, false},
      {L"C:\\KestruneAV\\Quarantine\\x.txt", 100, false},
      {L"C:\\KestruneAV\\Snapshots\\x.txt", 100, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(standin::HostPath(c.path));
    PutFile(c.path, std::string(static_cast<std::size_t>(c.size), 'a'));
    SnapshotOrRestore(c.path);
    EXPECT_EQ(HostExists(SnapshotPathFor(c.path)), c.snapshotted);
  }
}

TEST_F(SnapshotTest, ArchivesThatAreUpdatedAreNeverRolledBack) {
  // A zip is noise from the start: no copy is kept, so its update stands.
  const std::wstring archive = L"C:\\Users\\bob\\Documents\\photos.zip";
  PutFile(archive, RandomBytes(8192, 1));
  SnapshotOrRestore(archive);
  EXPECT_FALSE(HostExists(SnapshotPathFor(archive)));
  const std::string updated = RandomBytes(9000, 2);
  PutFile(archive, updated);
  SnapshotOrRestore(archive);
  EXPECT_EQ(HostBytes(archive), updated);

  // A copy of noise left from before is not rolled back to either, and goes.
  PutFile(SnapshotPathFor(archive), RandomBytes(8192, 3));
  SnapshotOrRestore(archive);
  EXPECT_EQ(HostBytes(archive), updated);
  EXPECT_FALSE(HostExists(SnapshotPathFor(archive)));
  EXPECT_EQ(CountLines(L"[ROLLBACK] "), 0);
}

TEST_F(SnapshotTest, FailedWritesLeaveTheOldContent) {
  const std::string text = TextBytes(6000);
  PutFile(report_, text);
  SnapshotOrRestore(report_);

  // The disk under the snapshots is full: the refresh fails, the good copy stays whole.
  standin::FailWritesUnder(SnapshotsDir);
  PutFile(report_, TextBytes(7000, "a later edit\r\n"));
  SnapshotOrRestore(report_);
  EXPECT_EQ(HostBytes(SnapshotOfReport()), text);

  // The disk under the file is full: the rollback fails and the file is not truncated.
  standin::Reset();
  standin::MapDrive(L'C', drive_c_.string());
  standin::FailWritesUnder(L"C:\\Users\\bob\\Documents\\");
  const std::string noise = RandomBytes(6000);
  PutFile(report_, noise);
  SnapshotOrRestore(report_);
  EXPECT_EQ(HostBytes(report_), noise);
  EXPECT_EQ(HostBytes(SnapshotOfReport()), text);
  EXPECT_EQ(CountLines(L"[ROLLBACK] Restored"), 0);
}

TEST_F(SnapshotTest, BudgetStopsNewSnapshotsButKeepsRefreshing) {
  PutFile(report_, TextBytes(3000));
  SnapshotOrRestore(report_);

  // Less than a tenth of the volume would be left free.
  standin::SetFreeSpace(L'C', (100ull << 30) + 1000, 1000ull << 30);
  const std::wstring a = L"C:\\Users\\bob\\a.txt";
  const std::wstring b = L"C:\\Users\\bob\\b.txt";
  PutFile(a, TextBytes(2000));
  PutFile(b, TextBytes(2000));
  SnapshotOrRestore(a);
  SnapshotOrRestore(b);
  EXPECT_FALSE(HostExists(SnapshotPathFor(a)));
  EXPECT_FALSE(HostExists(SnapshotPathFor(b)));
  EXPECT_EQ(CountLines(L"[ROLLBACK] Snapshot space is full"), 1);  // once per run

  const std::string edited = TextBytes(3500, "edited while the space is short\r\n");
  PutFile(report_, edited);
  SnapshotOrRestore(report_);
  EXPECT_EQ(HostBytes(SnapshotOfReport()), edited);
}

TEST_F(SnapshotTest, FolderBudgetOfTwoGibibytes) {
  // A sparse file stands for snapshots that already fill the budget.
  const auto filler = std::filesystem::path(standin::HostPath(SnapshotsDir)) / "filler.snapshot";
  std::ofstream(filler).put('x');
  std::filesystem::resize_file(filler, kSnapshotFolderBudgetBytes - 100);
  const std::wstring small = L"C:\\Users\\bob\\small.txt";
  PutFile(small, TextBytes(99));
  SnapshotOrRestore(small);
  EXPECT_TRUE(HostExists(SnapshotPathFor(small)));
  PutFile(report_, TextBytes(2));
  SnapshotOrRestore(report_);
  EXPECT_FALSE(HostExists(SnapshotOfReport()));
  EXPECT_EQ(CountLines(L"[ROLLBACK] Snapshot space is full"), 1);
}

}  // namespace
