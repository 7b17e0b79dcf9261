#include "inspect/cross_view.h"

#include <functional>
#include <unordered_set>

#include "app/activity_log.h"
#include "app/scan_state.h"
#include "engine/path_classes.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "scan/file_scan.h"

namespace {
// The find listing's view: lower-cased names of the entries that are not folders.
// A listing that cannot be opened leaves it empty, so every file then differs.
std::unordered_set<std::wstring> FindListingNames(const std::wstring& folder) {
  std::unordered_set<std::wstring> names;
  platform::VisitFolder(folder, [&names](const platform::FolderEntry& entry) {
    if (!entry.is_directory) names.insert(ToLowerAscii(entry.name));
    return true;
  });
  return names;
}

// Hands every regular file of the library's listing that the find listing left out
// to on_mismatch, with the library's full path.
void CompareListings(const std::wstring& folder, const std::function<void(const std::wstring& path)>& on_mismatch) {
  const std::unordered_set<std::wstring> shown = FindListingNames(folder);
  platform::VisitFolderThroughLibrary(folder, [&](const platform::LibraryEntry& entry) {
    if (!entry.is_regular_file) return;
    if (shown.count(ToLowerAscii(FileNameOf(entry.path))) == 0) on_mismatch(entry.path);
  });
}
}  // namespace

void CrossViewFolder(const std::wstring& folder) {
  CompareListings(folder, [](const std::wstring& path) {
    AppendActivity(L"[ROOTKIT] Hidden file mismatch: " + path);
    ThreatState.store(2);
    UpdateStatus(L"Hidden file found", path);
    ContainCount.fetch_add(1);
    ScanFileStep(path);
  });
}

void CrossViewScan() {
  CrossViewFolder(L"C:\\Windows\\Temp");
  CrossViewFolder(L"C:\\Users");
  std::wstring temp;
  if (platform::TempFolder(temp)) CrossViewFolder(temp);
}

void CheckUserModeHiding(const std::wstring& folder) {
  if (folder.empty() || IsSystemLocation(folder)) return;
  try {
    CompareListings(folder, [](const std::wstring& path) {
      AppendActivity(L"[ROOTKIT] User-mode hide mismatch: " + path);
      ThreatState.store(1);
      UpdateStatus(L"Hidden file mismatch", path);
    });
  } catch (...) {
    AppendActivity(L"[FAULT] Rootkit folder check skipped: " + folder);
  }
}
