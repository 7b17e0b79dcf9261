// The Windows layer under the scanner's walk: listings, stamps, lock probes, head
// reads, replacement, drives, change notifications and shell folders, on real files.
#include <windows.h>
#include <winioctl.h>

#include <gtest/gtest.h>

#include "temp_folder.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/drives.h"
#include "platform/files.h"
#include "platform/folder_changes.h"
#include "platform/shell_folders.h"

namespace {

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

uint64_t Join(DWORD high, DWORD low) { return (static_cast<uint64_t>(high) << 32) | low; }

// 2020-01-01 00:00:00 UTC: both halves of the file time are non-zero.
constexpr uint64_t kStamp = 132223104000000000ull;

class ScanPlatformWin32 : public TempFolderTest {
 protected:
  std::wstring Path(const std::wstring& name) const { return root_ + L"\\" + name; }

  std::wstring Write(const std::wstring& name, const std::string& bytes) {
    const std::wstring path = Path(name);
    EXPECT_TRUE(platform::WriteFileBytes(path, bytes));
    return path;
  }

  static void SetWriteTime(const std::wstring& path, uint64_t ticks) {
    HANDLE handle = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    const FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    EXPECT_TRUE(SetFileTime(handle, nullptr, nullptr, &time));
    CloseHandle(handle);
  }

  static WIN32_FILE_ATTRIBUTE_DATA Attributes(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    EXPECT_TRUE(GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) << Narrow(path);
    return data;
  }

  static bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

  static std::string Content(const std::wstring& path) {
    std::string bytes;
    return platform::ReadFileBytes(path, bytes) ? bytes : std::string("<missing>");
  }

  static HANDLE HoldExclusively(const std::wstring& path) {
    return CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
};

// ---- Folder visits ----

TEST_F(ScanPlatformWin32, VisitedEntriesCarryWhatTheFileSystemSays) {
  Write(L"small.txt", "abc");
  SetWriteTime(Write(L"dated.bin", std::string(10000, 'x')), kStamp);
  ASSERT_TRUE(CreateDirectoryW(Path(L"sub").c_str(), nullptr));
  Write(L"sub\\inner.txt", "not listed");
  const bool huge = MakeHugeSparseFile(Path(L"huge.bin"));
  std::vector<std::wstring> expected = {L"dated.bin", L"small.txt", L"sub"};
  if (huge) expected.insert(expected.begin() + 1, L"huge.bin");

  for (const std::wstring& folder : {root_, root_ + L"\\", root_ + L"/"}) {
    SCOPED_TRACE(Narrow(folder));
    std::map<std::wstring, platform::FolderEntry> seen;
    ASSERT_EQ(platform::VisitFolder(folder,
                                    [&](const platform::FolderEntry& entry) {
                                      EXPECT_TRUE(seen.emplace(entry.name, entry).second) << Narrow(entry.name);
                                      return true;
                                    }),
              0u);
    std::vector<std::wstring> names;
    for (const auto& [name, entry] : seen) names.push_back(name);
    ASSERT_EQ(names, expected);
    for (const auto& [name, entry] : seen) {
      SCOPED_TRACE(Narrow(name));
      const WIN32_FILE_ATTRIBUTE_DATA data = Attributes(Path(name));
      EXPECT_EQ(entry.is_directory, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
      EXPECT_FALSE(entry.is_reparse_point);
      EXPECT_EQ(entry.size, Join(data.nFileSizeHigh, data.nFileSizeLow));
      EXPECT_EQ(entry.last_write_time, Join(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime));
    }
    EXPECT_TRUE(seen[L"sub"].is_directory);
    EXPECT_EQ(seen[L"small.txt"].size, 3u);
    EXPECT_EQ(seen[L"dated.bin"].size, 10000u);
    EXPECT_EQ(seen[L"dated.bin"].last_write_time, kStamp);
    if (huge) EXPECT_EQ(seen[L"huge.bin"].size, (5ull << 30) + 3);
  }
}

TEST_F(ScanPlatformWin32, VisitStopsWhenTheVisitorSaysSo) {
  for (int i = 0; i < 5; ++i) Write(L"f" + std::to_wstring(i) + L".txt", "x");
  for (int wanted = 1; wanted <= 3; ++wanted) {
    SCOPED_TRACE(wanted);
    int calls = 0;
    EXPECT_EQ(platform::VisitFolder(root_, [&](const platform::FolderEntry&) { return ++calls < wanted; }), 0u);
    EXPECT_EQ(calls, wanted);
  }
}

TEST_F(ScanPlatformWin32, VisitOfWhatIsNoFolder) {
  Write(L"file.txt", "x");
  ASSERT_TRUE(CreateDirectoryW(Path(L"empty").c_str(), nullptr));
  struct Case {
    const char* what;
    std::wstring folder;
    std::vector<uint32_t> allowed;  // empty: any non-zero error
  };
  const Case cases[] = {
      {"empty folder", Path(L"empty"), {0}},
      {"missing folder", Path(L"missing"), {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND}},
      {"missing parent", Path(L"no\\such"), {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND}},
      {"a file", Path(L"file.txt"), {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    int calls = 0;
    const uint32_t error = platform::VisitFolder(c.folder, [&](const platform::FolderEntry&) { return ++calls, true; });
    EXPECT_EQ(calls, 0);
    if (c.allowed.empty()) {
      EXPECT_NE(error, 0u);
    } else {
      EXPECT_NE(std::find(c.allowed.begin(), c.allowed.end(), error), c.allowed.end()) << error;
    }
  }
}

TEST_F(ScanPlatformWin32, TreesDeeperThanMaxPathAreListedAndTheirFilesRead) {
  // Folders as deep as a package manager leaves them, made through the long-path form.
  std::vector<std::wstring> levels;
  std::wstring deep = root_;
  while (deep.size() < 320) {
    deep += L"\\node_modules-" + std::to_wstring(levels.size()) + L"-of-a-deep-dependency-tree";
    ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr)) << GetLastError();
    levels.push_back(deep);
  }
  const std::wstring file = deep + L"\\payload.js";
  const HANDLE made = CreateFileW((L"\\\\?\\" + file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(made, INVALID_HANDLE_VALUE);
  DWORD wrote = 0;
  EXPECT_TRUE(WriteFile(made, "deep", 4, &wrote, nullptr));
  CloseHandle(made);

  // The plain form a walk joins, also with the separators and steps a root may bring.
  std::wstring slashed = deep;
  std::replace(slashed.begin() + static_cast<std::ptrdiff_t>(root_.size()), slashed.end(), L'\\', L'/');
  const std::wstring stepped = deep + L"\\..\\" + levels.back().substr(levels.back().rfind(L'\\') + 1);
  for (const std::wstring& folder : {deep, deep + L"\\", slashed, stepped}) {
    SCOPED_TRACE(Narrow(folder));
    std::vector<platform::FolderEntry> seen;
    EXPECT_EQ(platform::VisitFolder(folder, [&](const platform::FolderEntry& entry) {
                seen.push_back(entry);
                return true;
              }),
              0u);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].name, L"payload.js");
    EXPECT_EQ(seen[0].size, 4u);
  }
  // The deepest folder is an entry of the one above it.
  std::vector<std::wstring> names;
  EXPECT_EQ(platform::VisitFolder(levels[levels.size() - 2], [&](const platform::FolderEntry& entry) {
              names.push_back(entry.name);
              return entry.is_directory;
            }),
            0u);
  EXPECT_EQ(names, std::vector<std::wstring>{levels.back().substr(levels.back().rfind(L'\\') + 1)});

  // What the scan of a file found there opens: the lock probe, the stamp and the pass.
  EXPECT_EQ(platform::ProbeOpenForReading(file), 0u);
  uint64_t time = 0;
  uint64_t size = 0;
  EXPECT_TRUE(platform::QueryFileStamp(file, time, size));
  EXPECT_EQ(size, 4u);
  std::string buffer(64, '\0');
  std::string read;
  bool read_failed = true;
  EXPECT_EQ(platform::ReadFileThrough(file, buffer,
                                      [&](std::string_view chunk) {
                                        read.append(chunk);
                                        return true;
                                      },
                                      read_failed),
            0u);
  EXPECT_FALSE(read_failed);
  EXPECT_EQ(read, "deep");
  EXPECT_EQ(Content(file), "deep");

  // Removed here: the fixture's clean-up walks plain paths.
  EXPECT_TRUE(DeleteFileW((L"\\\\?\\" + file).c_str()));
  for (auto level = levels.rbegin(); level != levels.rend(); ++level) {
    EXPECT_TRUE(RemoveDirectoryW((L"\\\\?\\" + *level).c_str()));
  }
}

// ---- Stamps and lock probes ----

TEST_F(ScanPlatformWin32, StampsOfFilesAndMissingPaths) {
  const std::wstring file = Write(L"stamped.bin", std::string(1234, 's'));
  SetWriteTime(file, kStamp);
  uint64_t time = 1;
  uint64_t size = 1;
  ASSERT_TRUE(platform::QueryFileStamp(file, time, size));
  const WIN32_FILE_ATTRIBUTE_DATA data = Attributes(file);
  EXPECT_EQ(time, Join(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime));
  EXPECT_EQ(time, kStamp);
  EXPECT_EQ(size, 1234u);

  for (const std::wstring& missing : {Path(L"missing.bin"), Path(L"no\\such.bin")}) {
    SCOPED_TRACE(Narrow(missing));
    time = 1;
    size = 1;
    EXPECT_FALSE(platform::QueryFileStamp(missing, time, size));
    EXPECT_EQ(time, 0u);
    EXPECT_EQ(size, 0u);
  }
}

TEST_F(ScanPlatformWin32, LockProbeTellsSharingViolationsFromAbsence) {
  const std::wstring file = Write(L"probe.bin", "x");
  EXPECT_EQ(platform::ProbeOpenForReading(file), 0u);

  // A writer that shares does not count as a lock.
  HANDLE writer = CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  EXPECT_EQ(platform::ProbeOpenForReading(file), 0u);
  CloseHandle(writer);

  HANDLE exclusive = HoldExclusively(file);
  ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
  EXPECT_EQ(platform::ProbeOpenForReading(file), static_cast<uint32_t>(ERROR_SHARING_VIOLATION));
  CloseHandle(exclusive);
  EXPECT_EQ(platform::ProbeOpenForReading(file), 0u);  // the probe itself left nothing open

  const uint32_t missing = platform::ProbeOpenForReading(Path(L"missing.bin"));
  EXPECT_NE(missing, 0u);
  EXPECT_NE(missing, static_cast<uint32_t>(ERROR_SHARING_VIOLATION));
  EXPECT_TRUE(platform::IsNotFoundError(missing)) << missing;
}

// ---- Head reads that fail part-way ----

// Windows refuses reads of a range another handle holds an exclusive lock on; Wine
// keeps byte-range locks between lockers only and lets every read through. There the
// failing read comes from Linux instead: sysfs sizes each attribute at 4096 bytes,
// and the kernel refuses to read the loopback device's link speed (EINVAL). Both
// files open and have a size, so only the read itself fails.
bool LocksBindReads(const std::wstring& file, DWORD locked_offset) {
  HANDLE reader = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (reader == INVALID_HANDLE_VALUE) return false;
  OVERLAPPED at{};
  at.Offset = locked_offset;
  char byte = 0;
  DWORD got = 0;
  const bool refused = !ReadFile(reader, &byte, 1, &got, &at) && GetLastError() == ERROR_LOCK_VIOLATION;
  CloseHandle(reader);
  return refused;
}

TEST_F(ScanPlatformWin32, HeadReadFailsWhenAReadFailsPartWay) {
  std::string bytes(65536, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 13 % 251);
  const std::wstring file = Write(L"locked.bin", bytes);
  HANDLE other = CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  // Another program's exclusive lock on bytes 30000..39999.
  OVERLAPPED at{};
  at.Offset = 30000;
  ASSERT_TRUE(LockFileEx(other, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 10000, 0, &at));
  const bool locks_bind = LocksBindReads(file, 30000);

  struct Case {
    std::size_t max;
    bool reaches_lock;
  };
  const Case cases[] = {
      {4096, false},   // ends before the lock
      {30000, false},  // ends right at it
      {30001, true},   // takes its first byte
      {65536, true},   // covers it
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.max);
    std::string head = "kept";
    uint64_t size = 0;
    const bool read = platform::ReadFileHead(file, c.max, head, size);
    if (c.reaches_lock && locks_bind) {
      EXPECT_FALSE(read);
      EXPECT_EQ(head, "kept");  // nothing half-read is handed back
    } else {
      ASSERT_TRUE(read);
      EXPECT_TRUE(head == bytes.substr(0, c.max)) << "a head of " << head.size() << " bytes differs";
      EXPECT_EQ(size, bytes.size());
    }
  }
  ASSERT_TRUE(UnlockFileEx(other, 0, 10000, 0, &at));
  CloseHandle(other);

  const std::wstring refused = L"Z:\\sys\\class\\net\\lo\\speed";
  uint64_t refused_time = 0;
  uint64_t refused_size = 0;
  const bool kernel_refuses = platform::QueryFileStamp(refused, refused_time, refused_size) && refused_size > 0;
  if (kernel_refuses) {
    std::string head = "kept";
    uint64_t size = 0;
    EXPECT_FALSE(platform::ReadFileHead(refused, 4096, head, size));
    EXPECT_EQ(head, "kept");
  }
  // At least one real failing read must have been tried here.
  EXPECT_TRUE(locks_bind || kernel_refuses);
}

// ---- Replacing and deleting ----

TEST_F(ScanPlatformWin32, ReplacementTakesTheTargetsPlaceOrNothingChanges) {
  struct Case {
    const char* what;
    const char* target;       // nullptr: missing
    const char* replacement;  // nullptr: missing
    bool hold_target;
    bool ok;
    const char* target_after;  // nullptr: missing
    bool replacement_stays;
  };
  const Case cases[] = {
      {"existing target", "old content", "new", false, true, "new", false},
      {"missing target", nullptr, "new", false, true, "new", false},
      {"target held exclusively", "old content", "new", true, false, "old content", true},
      {"missing replacement", "old content", nullptr, false, false, "old content", false},
      {"neither there", nullptr, nullptr, false, false, nullptr, false},
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::wstring target = Path(L"target" + std::to_wstring(index) + L".dat");
    const std::wstring replacement = Path(L"replacement" + std::to_wstring(index++) + L".tmp");
    if (c.target) ASSERT_TRUE(platform::WriteFileBytes(target, c.target));
    if (c.replacement) ASSERT_TRUE(platform::WriteFileBytes(replacement, c.replacement));
    HANDLE held = c.hold_target ? HoldExclusively(target) : INVALID_HANDLE_VALUE;
    if (c.hold_target) ASSERT_NE(held, INVALID_HANDLE_VALUE);

    EXPECT_EQ(platform::ReplaceFileWith(target, replacement), c.ok);
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    EXPECT_EQ(Content(target), c.target_after ? c.target_after : "<missing>");
    EXPECT_EQ(Content(replacement), c.replacement_stays ? c.replacement : "<missing>");
  }
}

TEST_F(ScanPlatformWin32, DeletedMeansGoneAfterwards) {
  ASSERT_TRUE(CreateDirectoryW(Path(L"folder").c_str(), nullptr));
  Write(L"held.bin", "x");
  HANDLE held = HoldExclusively(Path(L"held.bin"));
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  struct Case {
    const char* what;
    std::wstring path;
    bool gone;
  };
  const Case cases[] = {
      {"a file", Write(L"plain.bin", "x"), true},
      {"a missing file", Path(L"missing.bin"), true},
      {"a file in a missing folder", Path(L"no\\such.bin"), true},
      {"a file held without delete sharing", Path(L"held.bin"), false},
      {"a folder", Path(L"folder"), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(platform::DeleteFileAt(c.path), c.gone);
    EXPECT_EQ(Exists(c.path), !c.gone);
  }
  CloseHandle(held);
}

// ---- Free space and drives ----

// A drive letter that is not in use, or 0 when all are.
wchar_t UnusedLetter() {
  const DWORD mask = GetLogicalDrives();
  for (int i = 25; i >= 3; --i) {
    if (!(mask & (1u << i))) return static_cast<wchar_t>(L'A' + i);
  }
  return 0;
}

TEST_F(ScanPlatformWin32, FreeSpaceOfFoldersAndFiles) {
  const std::wstring file = Write(L"file.bin", "x");
  uint64_t total_of_folder = 0;
  for (const std::wstring& path : {root_, root_ + L"\\", file}) {
    SCOPED_TRACE(Narrow(path));
    uint64_t free_bytes = 0;
    uint64_t total_bytes = 0;
    ASSERT_TRUE(platform::QueryFreeSpace(path, free_bytes, total_bytes));
    EXPECT_GT(total_bytes, 0u);
    EXPECT_LE(free_bytes, total_bytes);
    if (total_of_folder == 0) total_of_folder = total_bytes;
    EXPECT_EQ(total_bytes, total_of_folder);  // the same volume
  }
  const wchar_t unused = UnusedLetter();
  ASSERT_NE(unused, 0);
  uint64_t free_bytes = 0;
  uint64_t total_bytes = 0;
  EXPECT_FALSE(platform::QueryFreeSpace(std::wstring(1, unused) + L":\\", free_bytes, total_bytes));
}

TEST(ScanPlatformWin32Drives, SystemDriveIsFixedAndReadyAbsentLettersAreNeither) {
  const uint32_t mask = platform::LogicalDriveMask();
  EXPECT_NE(mask & (1u << 2), 0u);  // C:
  EXPECT_EQ(platform::DriveTypeOf(L"C:\\"), platform::kDriveFixed);
  EXPECT_TRUE(platform::VolumeIsReady(L"C:\\"));
  for (int i = 0; i < 26; ++i) {
    const std::wstring root = std::wstring(1, static_cast<wchar_t>(L'A' + i)) + L":\\";
    SCOPED_TRACE(Narrow(root));
    if (mask & (1u << i)) {
      EXPECT_NE(platform::DriveTypeOf(root), platform::kDriveNoRootDir);
    } else {
      EXPECT_EQ(platform::DriveTypeOf(root), platform::kDriveNoRootDir);
      EXPECT_FALSE(platform::VolumeIsReady(root));
    }
  }
}

// ---- Folder change notifications ----

// Runs WatchFolderChanges on its own thread and collects what it hands over. The
// state is shared with the thread, so that a watch that never wakes again cannot
// outlive what it writes to.
class ChangeWatch {
 public:
  using Records = std::vector<platform::FolderChange>;

  // The visitor ends the watch once `enough` holds for the records so far.
  ChangeWatch(const std::wstring& folder, std::size_t buffer_bytes, std::function<bool(const Records&)> enough)
      : folder_(folder), state_(std::make_shared<State>()) {
    state_->enough = std::move(enough);
    auto state = state_;
    thread_ = std::thread([state, folder, buffer_bytes] {
      const platform::WatchEnd end = platform::WatchFolderChanges(folder, buffer_bytes, [&](const platform::FolderChangeBatch& b) {
        std::lock_guard<std::mutex> hold(state->lock);
        state->batches.push_back(b);
        state->records.insert(state->records.end(), b.records.begin(), b.records.end());
        state->done = state->done || state->enough(state->records);
        state->changed.notify_all();
        return !state->done;
      });
      std::lock_guard<std::mutex> hold(state->lock);
      state->finished = true;
      state->end = end;
      state->changed.notify_all();
    });
  }

  // A test that gave up early still ends the watch: told to stop, it ends at the
  // next change, which the pokes make.
  ~ChangeWatch() {
    if (!thread_.joinable()) return;
    Stop();
    const std::wstring wake = folder_ + L"\\wake-at-end.txt";
    if (Wait([&] { platform::WriteFileBytes(wake, "w"); }, std::chrono::seconds(5))) {
      thread_.join();
    } else {
      ADD_FAILURE() << "the watch did not end";
      thread_.detach();
    }
  }

  // Calls poke now and every 200 ms until the watch has seen enough and ended, for at
  // most `limit`. A poke that changes the folder also wakes a watch told to stop.
  bool Wait(const std::function<void()>& poke, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::unique_lock<std::mutex> hold(state_->lock);
    while (!state_->finished) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      hold.unlock();
      poke();
      hold.lock();
      state_->changed.wait_for(hold, std::chrono::milliseconds(200), [&] { return state_->finished; });
    }
    return true;
  }

  // Makes the visitor end the watch at its next batch.
  void Stop() {
    std::lock_guard<std::mutex> hold(state_->lock);
    state_->done = true;
  }

  Records records() const {
    std::lock_guard<std::mutex> hold(state_->lock);
    return state_->records;
  }
  std::vector<platform::FolderChangeBatch> batches() const {
    std::lock_guard<std::mutex> hold(state_->lock);
    return state_->batches;
  }
  bool watched() const { return end() == platform::WatchEnd::Stopped; }
  platform::WatchEnd end() const {
    std::lock_guard<std::mutex> hold(state_->lock);
    return state_->end;
  }

 private:
  struct State {
    mutable std::mutex lock;
    std::condition_variable changed;
    std::function<bool(const Records&)> enough;
    std::vector<platform::FolderChangeBatch> batches;
    Records records;
    bool done = false;
    bool finished = false;
    platform::WatchEnd end = platform::WatchEnd::CannotOpen;
  };
  std::wstring folder_;
  std::shared_ptr<State> state_;
  std::thread thread_;
};

bool HasRecord(const ChangeWatch::Records& records, uint32_t action, const std::wstring& name) {
  return std::any_of(records.begin(), records.end(),
                     [&](const platform::FolderChange& r) { return r.action == action && r.name == name; });
}

std::string Describe(const ChangeWatch::Records& records) {
  std::string text;
  for (const auto& record : records) text += std::to_string(record.action) + ":" + Narrow(record.name) + " ";
  return text;
}

TEST_F(ScanPlatformWin32, WatchSeesNewAndRenamedFiles) {
  Write(L"old.txt", "x");
  ChangeWatch watch(root_, 64 * 1024, [](const ChangeWatch::Records& records) {
    return HasRecord(records, platform::kChangeAdded, L"new.txt") &&
           HasRecord(records, platform::kChangeRenamedNewName, L"renamed.exe");
  });
  // The watch only sees changes made after its first wait began, so every poke makes
  // both changes afresh until they have been seen.
  const auto poke = [&] {
    DeleteFileW(Path(L"new.txt").c_str());
    MoveFileW(Path(L"renamed.exe").c_str(), Path(L"old.txt").c_str());
    Write(L"new.txt", "n");
    MoveFileW(Path(L"old.txt").c_str(), Path(L"renamed.exe").c_str());
  };
  Sleep(50);  // give the watch a moment to start its first wait
  ASSERT_TRUE(watch.Wait(poke)) << Describe(watch.records());
  EXPECT_TRUE(watch.watched());  // ended by its visitor, having opened the folder
  for (const auto& batch : watch.batches()) EXPECT_TRUE(batch.ok);
}

TEST_F(ScanPlatformWin32, WatchIgnoresSubFolders) {
  ASSERT_TRUE(CreateDirectoryW(Path(L"sub").c_str(), nullptr));
  std::atomic<bool> ready_seen{false};
  ChangeWatch watch(root_, 64 * 1024, [&](const ChangeWatch::Records& records) {
    for (const auto& record : records) {
      if (record.name.rfind(L"ready", 0) == 0) ready_seen = true;
    }
    return HasRecord(records, platform::kChangeAdded, L"marker.txt");
  });
  int round = 0;
  // Until the watch has shown it is live, only ready files are made; after that,
  // files in sub-folders and then a marker, whose record would come after theirs. A
  // sub-folder made while watching counts too: a watch of the whole tree under Wine
  // reports only those.
  const bool seen = watch.Wait([&] {
    if (!ready_seen) {
      Write(L"ready" + std::to_wstring(round++) + L".txt", "r");
      return;
    }
    CreateDirectoryW(Path(L"made-while-watching").c_str(), nullptr);
    Write(L"made-while-watching\\inner.txt", "i");
    Write(L"sub\\inner.txt", "i");
    Write(L"marker.txt", "m");
  });
  ASSERT_TRUE(seen) << Describe(watch.records());
  for (const auto& record : watch.records()) {
    EXPECT_EQ(record.name.find(L"inner"), std::wstring::npos) << Describe(watch.records());
  }
}

TEST_F(ScanPlatformWin32, WatchWithATinyBufferReportsAnOverflow) {
  // Not even one record fits in 4 bytes: the wait succeeds with nothing returned.
  ChangeWatch watch(root_, 4, [](const ChangeWatch::Records&) { return true; });
  int round = 0;
  ASSERT_TRUE(watch.Wait([&] { Write(L"file" + std::to_wstring(round++) + L".txt", "x"); }));
  const auto batches = watch.batches();
  ASSERT_EQ(batches.size(), 1u);
  EXPECT_TRUE(batches[0].ok);
  EXPECT_TRUE(batches[0].records.empty()) << Describe(batches[0].records);
}

TEST_F(ScanPlatformWin32, WatchOfAMissingFolderFailsAtOnce) {
  int calls = 0;
  EXPECT_EQ(platform::WatchFolderChanges(Path(L"missing"), 4096,
                                        [&](const platform::FolderChangeBatch&) {
                                          ++calls;
                                          return false;
                                        }),
            platform::WatchEnd::CannotOpen);
  EXPECT_EQ(calls, 0);
}

// A handle keeps watching a folder that is moved, and a deleted folder never wakes
// its wait: either way the watch must end, so that the caller can open the folder at
// the path again.
TEST_F(ScanPlatformWin32, WatchEndsWhenItsFolderIsMovedOrDeleted) {
  for (const bool moved : {true, false}) {
    const std::wstring folder = Path(moved ? L"moved-away" : L"deleted");
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ChangeWatch watch(folder, 4096, [](const ChangeWatch::Records&) { return false; });
    Sleep(300);  // the wait is in flight
    // Wine keeps a folder this process holds open when this process deletes it, so
    // there another program removes it, as one would.
    if (moved) {
      ASSERT_TRUE(MoveFileW(folder.c_str(), (folder + L"-elsewhere").c_str()));
    } else if (!RunUnixProgram(L"Z:\\bin\\rmdir", "/bin/rmdir", folder)) {
      // Windows leaves it delete pending until the watch's handle closes.
      ASSERT_TRUE(RemoveDirectoryW(folder.c_str()));
    }
    EXPECT_TRUE(watch.Wait([] {}, std::chrono::seconds(10))) << (moved ? "moved" : "deleted");
    EXPECT_EQ(watch.end(), platform::WatchEnd::FolderGone) << (moved ? "moved" : "deleted");
  }
}

// ---- Shell folders ----

TEST(ScanPlatformWin32Shell, ProfileFolderExists) {
  std::wstring profile;
  ASSERT_TRUE(platform::UserProfileFolder(profile));
  ASSERT_FALSE(profile.empty());
  const DWORD attributes = GetFileAttributesW(profile.c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES) << Narrow(profile);
  EXPECT_NE(attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
}

}  // namespace
