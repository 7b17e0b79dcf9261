#include "inspect/cross_view.h"

#include <functional>
#include <unordered_set>
#include <vector>

#include "app/activity_log.h"
#include "app/runtime_state.h"
#include "app/scan_state.h"
#include "engine/path_classes.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "scan/file_scan.h"

namespace {
using Lister = uint32_t (*)(const std::wstring& folder, const std::function<bool(const platform::FolderEntry&)>& visit);

bool CheckMustStop() {
  const std::atomic<bool>* stop = StopForThisScan();
  return !AppRunning.load() || (stop != nullptr && stop->load());
}

std::wstring Join(const std::wstring& folder, const std::wstring& name) {
  return EndsWith(folder, L"\\") || EndsWith(folder, L"/") ? folder + name : folder + L"\\" + name;
}

// How one listing of a folder ended.
struct ListingEnd {
  enum Kind { Complete, Refused, Stopped, BrokeOff, TooMany } kind = Complete;
  uint32_t error = 0;
};

// Hands the name of every entry that is not a folder to take, which returns false
// when it would keep one name too many. A listing that fails before its first entry
// was refused; one that fails later broke off.
ListingEnd ListFiles(Lister list, const std::wstring& folder, const std::function<bool(const std::wstring&)>& take) {
  ListingEnd end;
  std::size_t handed = 0;
  const uint32_t error = list(folder, [&](const platform::FolderEntry& entry) {
    if (CheckMustStop()) {
      end.kind = ListingEnd::Stopped;
      return false;
    }
    ++handed;
    if (entry.is_directory || take(entry.name)) return true;
    end.kind = ListingEnd::TooMany;
    return false;
  });
  if (end.kind == ListingEnd::Complete && error != 0) {
    end.kind = handed == 0 ? ListingEnd::Refused : ListingEnd::BrokeOff;
    end.error = error;
  }
  return end;
}

// Whether the comparison can go on after this listing; a line says why it cannot,
// except after a stop. The find interface refusing a folder that the native query
// lists is itself what a filter hiding the whole folder looks like, so there the
// find listing counts as empty and every file differs.
bool GoesOn(const ListingEnd& end, bool native, const std::wstring& folder) {
  const std::wstring road = native ? L"native" : L"find";
  switch (end.kind) {
    case ListingEnd::Complete:
      return true;
    case ListingEnd::Stopped:
      return false;
    case ListingEnd::TooMany:
      AppendActivity(L"[ROOTKIT] Folder skipped, more than " + std::to_wstring(kCrossViewMaxNames) + L" files: " +
                     folder);
      return false;
    case ListingEnd::BrokeOff:
      AppendActivity(L"[ROOTKIT] Folder skipped, the " + road + L" listing broke off (error " +
                     std::to_wstring(end.error) + L"): " + folder);
      return false;
    case ListingEnd::Refused:
      if (!native) return true;
      if (!platform::IsNotFoundError(end.error)) {
        AppendActivity(L"[ROOTKIT] Folder skipped, the native listing failed (error " + std::to_wstring(end.error) +
                       L"): " + folder);
      }
      return false;
  }
  return false;
}

// The names of the files only the native listing shows, in its order. Empty when
// there are none, when the folder could not be compared, or when a stop came.
std::vector<std::wstring> HiddenNames(const std::wstring& folder) {
  std::unordered_set<std::wstring> shown;
  ListingEnd end = ListFiles(platform::VisitFolder, folder, [&shown](const std::wstring& name) {
    if (shown.size() >= kCrossViewMaxNames) return false;
    shown.insert(ToLowerAscii(name));
    return true;
  });
  if (!GoesOn(end, false, folder)) return {};

  std::vector<std::wstring> only_native;
  end = ListFiles(platform::VisitFolderNative, folder, [&](const std::wstring& name) {
    if (shown.count(ToLowerAscii(name)) != 0) return true;
    if (only_native.size() >= kCrossViewMaxNames) return false;
    only_native.push_back(name);
    return true;
  });
  shown.clear();
  if (!GoesOn(end, true, folder) || only_native.empty()) return {};

  // The folder may have changed while it was listed: a file created after the find
  // listing is in a fresh one, and a file removed since the native listing is not in
  // a fresh native one. Only a name that still shows on one road alone counts.
  std::unordered_set<std::wstring> still_hidden;
  for (const auto& name : only_native) still_hidden.insert(ToLowerAscii(name));
  end = ListFiles(platform::VisitFolder, folder, [&still_hidden](const std::wstring& name) {
    still_hidden.erase(ToLowerAscii(name));
    return true;
  });
  if (!GoesOn(end, false, folder) || still_hidden.empty()) return {};
  std::unordered_set<std::wstring> still_there;
  end = ListFiles(platform::VisitFolderNative, folder, [&](const std::wstring& name) {
    const std::wstring key = ToLowerAscii(name);
    if (still_hidden.count(key) != 0) still_there.insert(key);
    return true;
  });
  if (!GoesOn(end, true, folder)) return {};

  std::vector<std::wstring> hidden;
  for (const auto& name : only_native) {
    if (still_there.count(ToLowerAscii(name)) != 0) hidden.push_back(name);
  }
  return hidden;
}

// Hands every hidden file of the folder to on_mismatch with its full path.
void CompareListings(const std::wstring& folder, const std::function<void(const std::wstring& path)>& on_mismatch) {
  for (const auto& name : HiddenNames(folder)) {
    if (CheckMustStop()) return;
    on_mismatch(Join(folder, name));
  }
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
  std::wstring temp;
  std::vector<std::wstring> folders{L"C:\\Windows\\Temp", L"C:\\Users"};
  if (platform::TempFolder(temp)) folders.push_back(temp);
  for (const auto& folder : folders) {
    if (CheckMustStop()) return;
    CrossViewFolder(folder);
  }
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
