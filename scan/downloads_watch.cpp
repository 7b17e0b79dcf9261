#include "scan/downloads_watch.h"

#include "app/cpu_sampler.h"
#include "app/guarded_step.h"
#include "app/runtime_state.h"
#include "app/throttle.h"
#include "engine/path_classes.h"
#include "app/activity_log.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/shell_folders.h"
#include "scan/file_scan.h"

namespace {
constexpr float kHoldCpuPercent = 85.0f;
constexpr uint64_t kFailedWaitPauseMs = 1000;
// A program that keeps the processor busy (a miner) must not hold a download off
// the scan for as long as it runs.
constexpr uint64_t kLongestHoldMs = 5000;
constexpr uint64_t kReopenPauseMs = 1000;

bool IsHandledAction(uint32_t action) {
  return action == platform::kChangeAdded || action == platform::kChangeModified ||
         action == platform::kChangeRenamedNewName;
}
}  // namespace

void HandleDownloadChange(const std::wstring& folder, const platform::FolderChange& change) {
  if (!IsHandledAction(change.action)) return;
  const std::wstring path = folder + L"\\" + change.name;
  // The record waits while the machine is busy, but not for longer than the cap.
  const uint64_t held_since = platform::TickCount64();
  bool busy = false;
  do {
    ThrottleForCpu();
    SampleCpu();
    busy = CpuPercent.load() >= kHoldCpuPercent;
  } while (busy && AppRunning.load() && platform::TickCount64() - held_since < kLongestHoldMs);
  if (busy && AppRunning.load()) {
    AppendActivity(L"[DOWNLOAD] Machine still busy after 5 s \u2014 scanning anyway: " + path);
  }
  // A partial download is passed over; the browser's rename brings the finished file.
  if (!IsCompleteFile(path)) return;
  platform::SleepMs(kDownloadSettleMs);  // let the writer finish and close the file
  ScanFileStep(path);
}

namespace {
bool FolderIsThere(const std::wstring& folder) {
  try {
    return platform::PathExists(folder);
  } catch (...) {
    return false;
  }
}

// One watch of the folder, for as long as its handle watches the folder at the path.
platform::WatchEnd WatchOnce(const std::wstring& folder) {
  bool last_wait_failed = false;
  return platform::WatchFolderChanges(folder, kDownloadsBufferBytes, [&](const platform::FolderChangeBatch& batch) {
    if (!batch.ok) {
      // Retried at once; a wait that keeps failing is retried once a second rather
      // than in a busy loop.
      if (last_wait_failed && AppRunning.load()) SleepForPeriod(kFailedWaitPauseMs);
      last_wait_failed = true;
      return AppRunning.load();
    }
    last_wait_failed = false;
    for (const auto& change : batch.records) {
      if (!AppRunning.load()) return false;
      HandleDownloadChange(folder, change);
    }
    return AppRunning.load();
  });
}
}  // namespace

void WatchDownloads() {
  std::wstring profile;
  if (!platform::UserProfileFolder(profile)) return;
  const std::wstring folder = profile + L"\\Downloads";
  bool said_away = false;
  while (AppRunning.load()) {
    const platform::WatchEnd end = WatchOnce(folder);
    if (end == platform::WatchEnd::Stopped) return;
    if (!said_away) {
      AppendActivity(end == platform::WatchEnd::FolderGone
                         ? L"[DOWNLOAD] Downloads folder went away \u2014 watching it again once it is back: " + folder
                         : L"[DOWNLOAD] Downloads folder cannot be watched \u2014 trying again every second: " + folder);
      said_away = true;
    }
    // Once a second, until the folder is there to be opened again.
    bool was_missing = false;
    for (;;) {
      SleepForPeriod(kReopenPauseMs);
      if (!AppRunning.load()) return;
      if (FolderIsThere(folder)) break;
      was_missing = true;
    }
    if (was_missing || end == platform::WatchEnd::FolderGone) {
      AppendActivity(L"[DOWNLOAD] Downloads folder is back \u2014 watching it again: " + folder);
      said_away = false;
    }
  }
}
