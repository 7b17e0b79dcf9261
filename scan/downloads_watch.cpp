#include "scan/downloads_watch.h"

#include "app/cpu_sampler.h"
#include "app/guarded_step.h"
#include "app/runtime_state.h"
#include "app/throttle.h"
#include "engine/path_classes.h"
#include "platform/clock.h"
#include "platform/shell_folders.h"
#include "scan/file_scan.h"

namespace {
constexpr float kHoldCpuPercent = 85.0f;
constexpr uint64_t kFailedWaitPauseMs = 1000;

bool IsHandledAction(uint32_t action) {
  return action == platform::kChangeAdded || action == platform::kChangeModified ||
         action == platform::kChangeRenamedNewName;
}
}  // namespace

void HandleDownloadChange(const std::wstring& folder, const platform::FolderChange& change) {
  if (!IsHandledAction(change.action)) return;
  const std::wstring path = folder + L"\\" + change.name;
  // The record waits while the machine is busy.
  do {
    ThrottleForCpu();
    SampleCpu();
  } while (CpuPercent.load() >= kHoldCpuPercent && AppRunning.load());
  // A partial download is passed over; the browser's rename brings the finished file.
  if (!IsCompleteFile(path)) return;
  platform::SleepMs(kDownloadSettleMs);  // let the writer finish and close the file
  ScanFileStep(path);
}

void WatchDownloads() {
  std::wstring profile;
  if (!platform::UserProfileFolder(profile)) return;
  const std::wstring folder = profile + L"\\Downloads";
  bool last_wait_failed = false;
  platform::WatchFolderChanges(folder, kDownloadsBufferBytes, [&](const platform::FolderChangeBatch& batch) {
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
