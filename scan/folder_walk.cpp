#include "scan/folder_walk.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "app/data_dir.h"
#include "app/runtime_state.h"
#include "app/scan_state.h"
#include "app/throttle.h"
#include "engine/path_classes.h"
#include "platform/files.h"
#include "scan/file_scan.h"

namespace {
constexpr uint32_t kAccessDenied = 5;

std::wstring Join(const std::wstring& folder, const std::wstring& name) {
  return EndsWith(folder, L"\\") || EndsWith(folder, L"/") ? folder + name : folder + L"\\" + name;
}

bool WalkMustStop() { return !AppRunning.load() || ScanStopRequested.load(); }

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

// One folder of the walk, depth first. False when the whole walk is to end.
bool WalkFolder(const std::wstring& folder) {
  bool go_on = true;
  const uint32_t error = platform::VisitFolder(folder, [&](const platform::FolderEntry& entry) {
    if (WalkMustStop()) return go_on = false;
    const std::wstring path = Join(folder, entry.name);
    // A folder is tested with its closing separator, so that an excluded tree is
    // not entered at all rather than walked file by file.
    if (IsExcludedFromScan(entry.is_directory ? path + L"\\" : path) || IsOwnDataFolder(path)) return true;
    if (entry.is_reparse_point) return true;  // links and junctions are listed, never followed
    if (entry.is_directory) return go_on = WalkFolder(path);
    ScanWalkedFile(path);
    return true;
  });
  // A folder that refuses access is passed over; any other listing error ends the walk.
  return go_on && (error == 0 || error == kAccessDenied);
}

bool RootExists(const std::wstring& root) {
  try {
    return platform::PathExists(root);
  } catch (const std::exception& e) {
    throw std::runtime_error(std::string("exists: ") + e.what());
  }
}

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

void ScanFolderTree(const std::wstring& root) {
  if (!RootExists(root)) return;
  WalkFolder(root);
}

void ScanAllUserFolders() {
  const std::wstring users = L"C:\\Users";
  std::size_t listed = 0;
  const uint32_t error = platform::VisitFolder(users, [&](const platform::FolderEntry& entry) {
    ++listed;
    if (!entry.is_directory || entry.is_reparse_point) return true;
    if (entry.name == L"Public" || entry.name == L"Default" || entry.name == L"All Users") return true;
    const std::wstring profile = Join(users, entry.name);
    ScanFolderTree(profile + L"\\Downloads");
    ScanFolderTree(profile + L"\\Desktop");
    ScanFolderTree(profile + L"\\AppData\\Local\\Temp");
    return true;
  });
  if (error != 0) ThrowListingError(listed, error);
}
