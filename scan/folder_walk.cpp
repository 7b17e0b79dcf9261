#include "scan/folder_walk.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

#include "app/activity_log.h"
#include "app/data_dir.h"
#include "app/runtime_state.h"
#include "app/scan_state.h"
#include "app/throttle.h"
#include "engine/path_classes.h"
#include "platform/files.h"
#include "scan/file_scan.h"

namespace {
std::wstring Join(const std::wstring& folder, const std::wstring& name) {
  return EndsWith(folder, L"\\") || EndsWith(folder, L"/") ? folder + name : folder + L"\\" + name;
}

bool WalkMustStop(const std::atomic<bool>* stop) { return !AppRunning.load() || (stop != nullptr && stop->load()); }

// Our own data copies are never walked: the quarantine folder (an exclusion of its
// own) and the snapshot folder.
bool IsOwnDataFolder(const std::wstring& path) {
  return !SnapshotsDir.empty() && ToLowerAscii(path).rfind(ToLowerAscii(SnapshotsDir), 0) == 0;
}

void ScanWalkedFile(const std::wstring& path) {
  ThrottleForCpu();
  ScanFileStep(path);
  const uint64_t walked = WalkedFileCount.fetch_add(1) + 1;
  if (ScanActive.load()) ScanProgress.store(WalkProgressAfter(walked));
}

// What a listing error means to the person reading the log.
std::wstring ListingErrorText(uint32_t error) {
  std::wstring text = L"error " + std::to_wstring(error);
  switch (error) {
    case 2:
    case 3:
      return text + L", gone";
    case 5:
      return text + L", access denied";
    case 21:
      return text + L", device not ready";
    case 53:
    case 59:
    case 64:
    case 67:
      return text + L", network share unreachable";
    case 206:
      return text + L", path too long";
    default:
      return text;
  }
}

void LogSkippedFolder(const std::wstring& folder, uint32_t error) {
  AppendActivity(L"[SCAN] Folder skipped, it cannot be listed (" + ListingErrorText(error) + L"): " + folder);
}

// One walk of a tree. Iterative, so that a planted tree thousands of folders deep
// costs memory for its names rather than the thread's stack.
class TreeWalk {
 public:
  TreeWalk(const std::wstring& root, const std::atomic<bool>* stop) : root_(root), stop_(stop) {}

  bool Run() {
    std::vector<std::wstring> pending{root_};  // folders still to list, the next at the back
    bool finished = true;
    while (!pending.empty()) {
      if (WalkMustStop(stop_)) {
        finished = false;
        break;
      }
      const std::wstring folder = std::move(pending.back());
      pending.pop_back();
      std::vector<std::wstring> subfolders;
      if (!WalkOneFolder(folder, subfolders)) {
        finished = false;
        break;
      }
      // Entered in listing order: the first sub-folder is listed next.
      pending.insert(pending.end(), std::make_move_iterator(subfolders.rbegin()),
                     std::make_move_iterator(subfolders.rend()));
    }
    if (unnamed_skips_ > 0) {
      AppendActivity(L"[SCAN] " + std::to_wstring(unnamed_skips_) + L" more folders skipped under " + root_ +
                     L", they cannot be listed.");
    }
    return finished;
  }

 private:
  // Scans the folder's files and hands back its sub-folders to enter. False when the
  // walk is to stop.
  bool WalkOneFolder(const std::wstring& folder, std::vector<std::wstring>& subfolders) {
    bool go_on = true;
    const uint32_t error = platform::VisitFolder(folder, [&](const platform::FolderEntry& entry) {
      if (WalkMustStop(stop_)) return go_on = false;
      const std::wstring path = Join(folder, entry.name);
      // A folder is tested with its closing separator, so that an excluded tree is
      // not entered at all rather than walked file by file.
      if (IsExcludedFromScan(entry.is_directory ? path + L"\\" : path) || IsOwnDataFolder(path)) return true;
      if (entry.is_reparse_point) return true;  // links and junctions are listed, never followed
      if (entry.is_directory) {
        subfolders.push_back(path);
      } else {
        ScanWalkedFile(path);
      }
      return true;
    });
    // What was listed before a listing broke off is still walked; the rest of that
    // folder is what the line reports. A missing root is an empty tree, not a skip.
    if (error != 0 && !(folder == root_ && platform::IsNotFoundError(error))) SkipFolder(folder, error);
    return go_on;
  }

  void SkipFolder(const std::wstring& folder, uint32_t error) {
    if (named_skips_ < kSkippedFolderLines) {
      ++named_skips_;
      LogSkippedFolder(folder, error);
    } else {
      ++unnamed_skips_;
    }
  }

  const std::wstring& root_;
  const std::atomic<bool>* stop_;
  int named_skips_ = 0;
  uint64_t unnamed_skips_ = 0;
};

[[noreturn]] void ThrowListingError(std::size_t listed, uint32_t error) {
  throw std::runtime_error(std::string(listed == 0 ? "directory_iterator::directory_iterator"
                                                   : "directory_iterator::operator++") +
                           ": error " + std::to_string(error));
}
}  // namespace

float WalkProgressAfter(uint64_t walked_files) {
  const double progress = 0.08 + 0.9 * (1.0 - std::exp(-static_cast<double>(walked_files) / 8000.0));
  return static_cast<float>(std::min(0.99, progress));
}

bool ScanFolderTree(const std::wstring& root, const std::atomic<bool>* stop) {
  return TreeWalk(root, stop).Run();
}

bool ScanFolderFiles(const std::wstring& folder) {
  platform::FileInfo info;
  if (!platform::QueryFileInfo(folder, info) || !info.is_directory) return true;
  bool go_on = true;
  const uint32_t error = platform::VisitFolder(folder, [&](const platform::FolderEntry& entry) {
    if (!AppRunning.load()) return go_on = false;
    if (entry.is_directory || entry.is_reparse_point) return true;
    ThrottleForCpu();
    ScanFileStep(Join(folder, entry.name));
    return true;
  });
  if (error != 0) LogSkippedFolder(folder, error);
  return go_on;
}

void ScanAllUserFolders() {
  const std::wstring users = L"C:\\Users";
  std::size_t listed = 0;
  const uint32_t error = platform::VisitFolder(users, [&](const platform::FolderEntry& entry) {
    ++listed;
    if (!entry.is_directory || entry.is_reparse_point) return true;
    if (entry.name == L"Public" || entry.name == L"Default" || entry.name == L"All Users") return true;
    const std::wstring profile = Join(users, entry.name);
    return ScanFolderTree(profile + L"\\Downloads", StopForThisScan()) &&
           ScanFolderTree(profile + L"\\Desktop", StopForThisScan()) &&
           ScanFolderTree(profile + L"\\AppData\\Local\\Temp", StopForThisScan());
  });
  if (error != 0) ThrowListingError(listed, error);
}
