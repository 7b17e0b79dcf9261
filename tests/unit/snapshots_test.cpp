// Snapshots and rollback: a file that turns into noise is put back, and nothing the
// user wrote is ever lost on the way.
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <filesystem>
#include <thread>
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// The sanitizers' allocation hooks (their header does not ship with every compiler).
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*, std::size_t),
                                                         void (*free_hook)(const volatile void*));
#endif

#include "engine/hash_lists.h"
#include "engine/path_classes.h"
#include "platform/files.h"
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
  std::wstring RestoredLine(const std::wstring& path) {
    return L"[ROLLBACK] Restored after change: " + path + L" \u2014 replaced content kept in " +
           ReplacedContentPathFor(SnapshotPathFor(path));
  }
  // A file of the snapshot folder of the given size (sparse, so that the 2 GiB budget
  // can be filled), last written the given hours ago.
  std::wstring PutSnapshotFile(const std::wstring& name, uint64_t size, int hours_ago) {
    const std::wstring path = SnapshotsDir + L"\\" + name;
    const auto host = std::filesystem::path(standin::HostPath(path));
    std::ofstream(host).put('x');
    std::filesystem::resize_file(host, size);
    SetHoursAgo(path, hours_ago);
    return path;
  }
  void SetHoursAgo(const std::wstring& path, int hours_ago) {
    std::filesystem::last_write_time(standin::HostPath(path),
                                     std::filesystem::file_time_type::clock::now() - std::chrono::hours(hours_ago));
  }
};

// Paths whose "\", "/" and ":" made "_" read the same, or that agree in a long end.
const struct {
  const wchar_t* first;
  const wchar_t* second;
} kLookAlikePaths[] = {
    {L"C:\\a\\b_c.txt", L"C:\\a\\b\\c.txt"},
    // A standard user's folder beside a cached installer, as an elevated run sees both.
    {L"C:\\ProgramData\\Package Cache_{6A1F0C2E-4B7D-4E11-9A3C-2F8B5D0E7C41}\\setup.exe",
     L"C:\\ProgramData\\Package Cache\\{6A1F0C2E-4B7D-4E11-9A3C-2F8B5D0E7C41}\\setup.exe"},
    {L"C:\\Users\\ann\\xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"
     L"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\\notes.txt",
     L"C:\\Users\\bob\\xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"
     L"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\\notes.txt"},
};

// The file name within the snapshot folder.
std::wstring NameOf(const std::wstring& snapshot_path) { return snapshot_path.substr(SnapshotsDir.size() + 1); }

TEST_F(SnapshotTest, NamesKeepAReadableTailAndADigestOfTheWholePath) {
  for (const auto& pair : kLookAlikePaths) {
    SCOPED_TRACE(Ascii(pair.second));
    EXPECT_NE(SnapshotPathFor(pair.first), SnapshotPathFor(pair.second));
    EXPECT_NE(ReplacedContentPathFor(SnapshotPathFor(pair.first)),
              ReplacedContentPathFor(SnapshotPathFor(pair.second)));
  }

  const std::wstring short_path = L"C:\\Users\\ann\\Documents\\report.docx";
  const std::wstring long_path = kLookAlikePaths[2].first;
  for (const auto& path : {short_path, long_path}) {
    SCOPED_TRACE(Ascii(path));
    const std::wstring snapshot = SnapshotPathFor(path);
    EXPECT_EQ(snapshot.rfind(SnapshotsDir + L"\\", 0), 0u);
    const std::wstring name = NameOf(snapshot);
    ASSERT_TRUE(EndsWith(name, L".snapshot"));
    EXPECT_LE(name.size(), kSnapshotNameChars + 9);
    // "<tail>~<64 hex digits>.snapshot"
    const std::wstring stem = name.substr(0, name.size() - 9);
    ASSERT_GT(stem.size(), 65u);
    EXPECT_EQ(stem[stem.size() - 65], L'~');
    EXPECT_EQ(stem.find_first_not_of(L"0123456789abcdef", stem.size() - 64), std::wstring::npos);
    // The readable tail is the lower-cased path's end with "\" and ":" made "_".
    std::wstring readable = ToLowerAscii(path);
    std::replace(readable.begin(), readable.end(), L'\\', L'_');
    std::replace(readable.begin(), readable.end(), L':', L'_');
    const std::wstring tail = stem.substr(0, stem.size() - 65);
    EXPECT_GE(tail.size(), std::min<std::size_t>(readable.size(), 40));
    EXPECT_TRUE(EndsWith(readable, tail));
  }
  EXPECT_EQ(NameOf(SnapshotPathFor(short_path)).rfind(L"c__users_ann_documents_report.docx~", 0), 0u);

  // The same file named in another letter case keeps its one snapshot.
  EXPECT_EQ(SnapshotPathFor(L"C:\\USERS\\ANN\\Documents\\REPORT.docx"), SnapshotPathFor(short_path));
  EXPECT_EQ(SnapshotPathFor(ToLowerAscii(long_path)), SnapshotPathFor(long_path));

  SnapshotsDir.clear();
  EXPECT_EQ(SnapshotPathFor(report_), L"");
}

TEST_F(SnapshotTest, LookAlikePathsRollBackToTheirOwnContent) {
  for (const auto& pair : kLookAlikePaths) {
    SCOPED_TRACE(Ascii(pair.second));
    const std::string first_text = TextBytes(3000, "first file's own lines\r\n");
    const std::string second_text = TextBytes(3100, "the other file, not the first\r\n");
    PutFile(pair.first, first_text);
    PutFile(pair.second, second_text);
    SnapshotOrRestore(pair.first);
    SnapshotOrRestore(pair.second);

    PutFile(pair.first, RandomBytes(4000, 11));
    PutFile(pair.second, RandomBytes(4000, 12));
    SnapshotOrRestore(pair.first);
    SnapshotOrRestore(pair.second);
    EXPECT_EQ(HostBytes(pair.first), first_text);
    EXPECT_EQ(HostBytes(pair.second), second_text);
  }
  EXPECT_EQ(CountLines(L"[ROLLBACK] Restored after change: "), 6);
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
  EXPECT_TRUE(Logged(RestoredLine(report_)));
  EXPECT_EQ(HostBytes(SnapshotOfReport()), text);  // the snapshot is left as it was
  // A wrong rollback can be undone by hand from the copy beside the snapshot.
  EXPECT_EQ(HostBytes(ReplacedContentPathFor(SnapshotOfReport())), noise);
  EXPECT_EQ(SnapshotFolderFiles(), 2u);  // no temporary file left behind

}

TEST_F(SnapshotTest, EachRollbackKeepsWhatItReplacedAndTheLastThreeStay) {
  const std::string text = TextBytes(8000);
  PutFile(report_, text);
  SnapshotOrRestore(report_);
  std::vector<std::string> noises;
  for (uint32_t seed = 21; seed <= 24; ++seed) {
    noises.push_back(RandomBytes(8000 + seed, seed));
    PutFile(report_, noises.back());
    SnapshotOrRestore(report_);
    EXPECT_EQ(HostBytes(report_), text);
    if (noises.size() == 3) {
      // Three rollbacks, three versions: the newest in ".replaced", then ".2", ".3".
      for (int version = 1; version <= 3; ++version) {
        SCOPED_TRACE(version);
        EXPECT_EQ(HostBytes(ReplacedContentPathFor(SnapshotOfReport(), version)), noises[3 - version]);
      }
    }
  }
  EXPECT_EQ(CountLines(RestoredLine(report_)), 4);
  EXPECT_EQ(NameOf(ReplacedContentPathFor(SnapshotOfReport(), 2)), NameOf(SnapshotOfReport()) + L".replaced.2");
  // A fourth rollback lets the oldest go.
  for (int version = 1; version <= 3; ++version) {
    EXPECT_EQ(HostBytes(ReplacedContentPathFor(SnapshotOfReport(), version)), noises[4 - version]);
  }
  EXPECT_FALSE(HostExists(ReplacedContentPathFor(SnapshotOfReport(), 4)));
  EXPECT_EQ(SnapshotFolderFiles(), 4u);
}

// A file the user encrypts on purpose (an archive with a password saved over its text)
// and whose hash they put on the safe list is theirs to keep, now and at its next save.
TEST_F(SnapshotTest, ContentOnTheSafeListIsNeverRolledBack) {
  PutFile(report_, TextBytes(7000));
  SnapshotOrRestore(report_);
  const std::string archive = RandomBytes(7100, 31);
  PutFile(report_, archive);
  AddSafeHash(ComputeFileSha256(report_));
  SnapshotOrRestore(report_);
  EXPECT_EQ(HostBytes(report_), archive);
  // The plain copy goes: it would undo the user's encryption, and roll back the next save.
  EXPECT_FALSE(HostExists(SnapshotOfReport()));
  EXPECT_FALSE(HostExists(ReplacedContentPathFor(SnapshotOfReport())));

  const std::string saved_again = RandomBytes(7200, 32);
  PutFile(report_, saved_again);
  SnapshotOrRestore(report_);
  EXPECT_EQ(HostBytes(report_), saved_again);
  EXPECT_EQ(CountLines(L"[ROLLBACK] "), 0);
}

// The Downloads watch and a scan meet on one encrypted file: it is rolled back once,
// and the noise, not the restored text, is what is kept.
TEST_F(SnapshotTest, TwoThreadsRollAFileBackOnce) {
  for (int round = 0; round < 8; ++round) {
    SCOPED_TRACE(round);
    const std::wstring file = L"C:\\Users\\bob\\Downloads\\race" + std::to_wstring(round) + L".txt";
    const std::string text = TextBytes(60000);
    PutFile(file, text);
    SnapshotOrRestore(file);
    const std::string noise = RandomBytes(60000, 40 + round);
    PutFile(file, noise);
    std::thread watch([&file] { SnapshotOrRestore(file); });
    std::thread scan([&file] { SnapshotOrRestore(file); });
    watch.join();
    scan.join();
    EXPECT_EQ(HostBytes(file), text);
    EXPECT_EQ(HostBytes(ReplacedContentPathFor(SnapshotPathFor(file))), noise);
    EXPECT_FALSE(HostExists(ReplacedContentPathFor(SnapshotPathFor(file), 2)));
    EXPECT_EQ(CountLines(RestoredLine(file)), 1);
  }
}

TEST_F(SnapshotTest, DroppingASnapshotKeepsTheKeptVersions) {
  PutFile(report_, TextBytes(3000));
  SnapshotOrRestore(report_);
  PutFile(report_, RandomBytes(3000, 3));
  SnapshotOrRestore(report_);
  ASSERT_TRUE(HostExists(ReplacedContentPathFor(SnapshotOfReport())));
  DropSnapshotOf(report_);
  EXPECT_FALSE(HostExists(SnapshotOfReport()));
  EXPECT_TRUE(HostExists(ReplacedContentPathFor(SnapshotOfReport())));
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

  // The file cannot be replaced (read-only): the rollback fails and the file stays whole.
  const std::string noise = RandomBytes(6000);
  PutFile(report_, noise);
  ASSERT_TRUE(platform::SetReadOnlyAttribute(report_));
  SnapshotOrRestore(report_);
  EXPECT_EQ(HostBytes(report_), noise);
  EXPECT_EQ(HostBytes(SnapshotOfReport()), text);
  EXPECT_EQ(CountLines(L"[ROLLBACK] Restored"), 0);
}

TEST_F(SnapshotTest, RemovingEverythingThatMayGoMustBeEnoughOrNothingGoes) {
  PutFile(report_, TextBytes(3000));
  SnapshotOrRestore(report_);

  // 1000 bytes above a tenth of the volume left free.
  standin::SetFreeSpace(L'C', (100ull << 30) + 1000, 1000ull << 30);
  const std::wstring big = L"C:\\Users\\bob\\big.txt";
  PutFile(big, TextBytes(5000));  // would need 4000 more, and only 3000 could be freed
  SnapshotOrRestore(big);
  EXPECT_FALSE(HostExists(SnapshotPathFor(big)));
  EXPECT_TRUE(HostExists(SnapshotOfReport()));
  EXPECT_EQ(CountLines(L"[ROLLBACK] Snapshot space is full"), 1);

  // What fits in the free share needs nothing removed; a shrinking refresh needs no room.
  const std::wstring small = L"C:\\Users\\bob\\small.txt";
  PutFile(small, TextBytes(900));
  SnapshotOrRestore(small);
  EXPECT_TRUE(HostExists(SnapshotPathFor(small)));
  const std::string shorter = TextBytes(2500, "shorter now\r\n");
  PutFile(report_, shorter);
  SnapshotOrRestore(report_);
  EXPECT_EQ(HostBytes(SnapshotOfReport()), shorter);
  EXPECT_EQ(CountLines(L"[ROLLBACK] Snapshot space is full"), 1);  // once per run
}

TEST_F(SnapshotTest, TheOldestSnapshotsMakeRoomFirst) {
  // Three snapshots that fill the 2 GiB to 2 bytes, written three, two and one hour ago.
  const uint64_t third = kSnapshotFolderBudgetBytes / 3;
  const std::wstring oldest = PutSnapshotFile(L"c__a.txt~old.snapshot", third, 3);
  const std::wstring older = PutSnapshotFile(L"c__b.txt~old.snapshot", third, 2);
  const std::wstring newer = PutSnapshotFile(L"c__c.txt~old.snapshot", third, 1);
  PutFile(report_, TextBytes(5000));
  SnapshotOrRestore(report_);
  EXPECT_TRUE(HostExists(SnapshotOfReport()));
  EXPECT_FALSE(HostExists(oldest));
  EXPECT_TRUE(HostExists(older));
  EXPECT_TRUE(HostExists(newer));
  EXPECT_EQ(CountLines(L"[ROLLBACK] "), 0);
}

TEST_F(SnapshotTest, SnapshotsOfGoneFilesMakeRoomBeforeOlderOnes) {
  // Older snapshots of files that are still there fill the budget but 6100 bytes.
  const std::wstring old_one = PutSnapshotFile(L"c__a.txt~old.snapshot", kSnapshotFolderBudgetBytes / 2, 5);
  const std::wstring old_two =
      PutSnapshotFile(L"c__b.txt~old.snapshot", kSnapshotFolderBudgetBytes / 2 - 6000 - 100, 4);
  const std::wstring gone = L"C:\\Users\\bob\\Downloads\\cache.bin.txt";
  PutFile(gone, TextBytes(6000));
  SnapshotOrRestore(gone);
  ASSERT_TRUE(HostExists(SnapshotPathFor(gone)));
  std::filesystem::remove(standin::HostPath(gone));
  PutFile(report_, TextBytes(5000));
  SnapshotOrRestore(report_);
  EXPECT_TRUE(HostExists(SnapshotOfReport()));
  EXPECT_FALSE(HostExists(SnapshotPathFor(gone)));
  EXPECT_TRUE(HostExists(old_one));
  EXPECT_TRUE(HostExists(old_two));
}

// Snapshots and kept versions share the budget; a refresh that grows makes room like a
// new snapshot, and kept versions are never removed for it.
TEST_F(SnapshotTest, ARefreshThatGrowsStaysInsideTheBudget) {
  const std::wstring other = PutSnapshotFile(L"c__other.txt~old.snapshot", 5000, 2);
  const std::wstring kept = PutSnapshotFile(NameOf(ReplacedContentPathFor(SnapshotPathFor(L"C:\\x.txt"))),
                                            kSnapshotFolderBudgetBytes - 4000 - 5000 - 100, 3);
  PutFile(report_, TextBytes(4000));
  SnapshotOrRestore(report_);
  ASSERT_TRUE(HostExists(other));
  const std::string longer = TextBytes(8000, "a longer draft\r\n");
  PutFile(report_, longer);
  SnapshotOrRestore(report_);
  EXPECT_EQ(HostBytes(SnapshotOfReport()), longer);
  EXPECT_FALSE(HostExists(other));
  EXPECT_TRUE(HostExists(kept));

  // Only kept versions are left to remove: the refresh is refused and the copy stays.
  PutFile(report_, TextBytes(16000, "longer still\r\n"));
  SnapshotOrRestore(report_);
  EXPECT_EQ(HostBytes(SnapshotOfReport()), longer);
  EXPECT_TRUE(HostExists(kept));
  EXPECT_EQ(CountLines(L"[ROLLBACK] Snapshot space is full"), 1);
  // Nor may a rollback's kept content pass the cap: the file is left as it is.
  const std::string noise = RandomBytes(8000, 9);
  PutFile(report_, noise);
  SnapshotOrRestore(report_);
  EXPECT_EQ(HostBytes(report_), noise);
  EXPECT_EQ(CountLines(L"[ROLLBACK] Restored"), 0);
  uint64_t total = 0;
  for (const auto& entry : std::filesystem::directory_iterator(standin::HostPath(SnapshotsDir))) {
    total += entry.file_size();
  }
  EXPECT_LE(total, kSnapshotFolderBudgetBytes);
}

// An elevated rollback that a user aims elsewhere: the file was ordinary text when it
// was snapshotted, then its folder (or the file itself) became a link to a program
// that is packed (noise). The rollback must not write the program.
TEST_F(SnapshotTest, RollbackThroughALinkIsRefusedAndWritesNothing) {
  const struct {
    const char* what;
    bool link_the_folder;  // else the file itself becomes the link
  } cases[] = {
      {"folder turned into a junction", true},
      {"file turned into a symbolic link", false},
  };
  const std::wstring folder = L"C:\\Users\\B\\x";
  const std::wstring user_file = folder + L"\\svc.exe";
  const std::wstring vendor_file = L"C:\\Program Files\\Vendor\\svc.exe";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ResetActivityState();
    std::filesystem::remove_all(standin::HostPath(folder));
    PutFile(user_file, TextBytes(5000));
    SnapshotOrRestore(user_file);
    ASSERT_TRUE(HostExists(SnapshotPathFor(user_file)));

    const std::string packed = RandomBytes(6000, 5);
    PutFile(vendor_file, packed);
    if (c.link_the_folder) {
      std::filesystem::remove_all(standin::HostPath(folder));
      std::filesystem::create_directory_symlink(standin::HostPath(L"C:\\Program Files\\Vendor"),
                                                standin::HostPath(folder));
    } else {
      std::filesystem::remove(standin::HostPath(user_file));
      std::filesystem::create_symlink(standin::HostPath(vendor_file), standin::HostPath(user_file));
    }
    SnapshotOrRestore(user_file);

    EXPECT_EQ(HostBytes(vendor_file), packed);
    EXPECT_FALSE(HostExists(ReplacedContentPathFor(SnapshotPathFor(user_file))));
    EXPECT_TRUE(Logged(L"[ROLLBACK] Refused, the file's path now leads elsewhere (a link): " + user_file));
    EXPECT_EQ(CountLines(L"[ROLLBACK] Restored"), 0);
    std::filesystem::remove(standin::HostPath(c.link_the_folder ? folder : user_file));
  }
}

TEST_F(SnapshotTest, AFileReachedThroughALinkIsNotCopied) {
  const std::wstring secret = L"C:\\Users\\ann\\Documents\\private.txt";
  PutFile(secret, TextBytes(2000));
  const std::wstring link = L"C:\\Users\\bob\\look";
  std::filesystem::create_directories(standin::HostPath(L"C:\\Users\\bob"));
  std::filesystem::create_directory_symlink(standin::HostPath(L"C:\\Users\\ann\\Documents"), standin::HostPath(link));
  SnapshotOrRestore(link + L"\\private.txt");
  EXPECT_FALSE(HostExists(SnapshotPathFor(link + L"\\private.txt")));
}

// Whatever a file measures when its size is looked at, the read that follows asks for
// no more than one byte past the window. The stand-in's verified read sizes its buffer
// by what it is asked for, so the largest allocation during the call shows the bound;
// a read of the whole file would allocate all 40 MiB. The rollback's read of the
// current content is taken, as nothing looks at its size before it.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
std::atomic<bool> g_watch_allocations{false};
std::atomic<std::size_t> g_largest_allocation{0};
void NoteAllocation(const volatile void*, std::size_t size) {
  if (!g_watch_allocations.load()) return;
  std::size_t seen = g_largest_allocation.load();
  while (size > seen && !g_largest_allocation.compare_exchange_weak(seen, size)) {
  }
}
void NoteRelease(const volatile void*) {}
#endif

TEST_F(SnapshotTest, AFileGrownPastTheWindowIsReadOnlyToTheBound) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  static const int installed = __sanitizer_install_malloc_and_free_hooks(NoteAllocation, NoteRelease);
  ASSERT_NE(installed, 0);
  const std::string text = TextBytes(8000);
  PutFile(report_, text);
  SnapshotOrRestore(report_);
  ASSERT_EQ(HostBytes(SnapshotOfReport()), text);

  // Encrypted and grown to 40 MiB: noise in its first MiB, a sparse rest.
  PutFile(report_, RandomBytes(1u << 20, 3));
  std::filesystem::resize_file(standin::HostPath(report_), 40u << 20);
  g_largest_allocation.store(0);
  g_watch_allocations.store(true);
  SnapshotOrRestore(report_);
  g_watch_allocations.store(false);

  EXPECT_LE(g_largest_allocation.load(), kSnapshotMaxFileBytes + 64);
  EXPECT_EQ(std::filesystem::file_size(standin::HostPath(report_)), 40u << 20);  // too big to keep a copy of
  EXPECT_FALSE(HostExists(ReplacedContentPathFor(SnapshotOfReport())));
  EXPECT_EQ(CountLines(L"[ROLLBACK] "), 0);
#else
  GTEST_SKIP() << "needs the sanitizer's allocation hooks";
#endif
}

TEST_F(SnapshotTest, SnapshotsOfTheOldNamingAreDroppedAtStart) {
  const std::wstring kept = SnapshotPathFor(report_);
  const struct {
    std::wstring name;
    bool stays;
  } cases[] = {
      {L"C__Users_bob_Documents_report.txt.snapshot", false},
      {L"C__Users_bob_Documents_report.txt.snapshot.replaced", false},
      {L"C__Users_bob_long~0123456789abcdef.snapshot", false},  // the short digest of old long names
      {NameOf(kept), true},
      {NameOf(ReplacedContentPathFor(kept)), true},
      {L"readme.txt", true},  // not a snapshot: left alone
      // Temporary files of writes that a run did not finish, empty or part-written.
      {NameOf(kept) + L".7.kav.tmp", false},
      {NameOf(ReplacedContentPathFor(kept)) + L".12.kav.tmp", false},
  };
  for (const auto& c : cases) PutFile(SnapshotsDir + L"\\" + c.name, EndsWith(c.name, L".7.kav.tmp") ? "" : "x");
  // An old snapshot that fills the budget: once it is gone, its room is free again.
  const auto filler = std::filesystem::path(standin::HostPath(SnapshotsDir)) / "C__Users_bob_big.bin.snapshot";
  std::ofstream(filler).put('x');
  std::filesystem::resize_file(filler, kSnapshotFolderBudgetBytes - 1000);
  const std::wstring small = L"C:\\Users\\bob\\small.txt";
  PutFile(small, TextBytes(99));
  SnapshotOrRestore(small);  // measures the folder with the old snapshots in it
  ASSERT_TRUE(HostExists(SnapshotPathFor(small)));

  InitPaths();
  for (const auto& c : cases) {
    SCOPED_TRACE(Ascii(c.name));
    EXPECT_EQ(HostExists(SnapshotsDir + L"\\" + c.name), c.stays);
  }
  EXPECT_FALSE(std::filesystem::exists(filler));
  EXPECT_TRUE(HostExists(SnapshotPathFor(small)));
  PutFile(L"C:\\Users\\bob\\large.txt", TextBytes(1u << 20));
  SnapshotOrRestore(L"C:\\Users\\bob\\large.txt");
  EXPECT_TRUE(HostExists(SnapshotPathFor(L"C:\\Users\\bob\\large.txt")));
  EXPECT_EQ(CountLines(L"[ROLLBACK] Snapshot space is full"), 0);
}

}  // namespace
