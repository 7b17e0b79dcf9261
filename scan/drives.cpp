#include "scan/drives.h"

#include <exception>

#include "app/activity_log.h"
#include "app/guarded_step.h"
#include "app/runtime_state.h"
#include "app/scan_state.h"
#include "platform/drives.h"
#include "scan/folder_walk.h"

namespace {
constexpr int kLetters = 26;
constexpr uint64_t kDiskPollMs = 2000;
}  // namespace

std::wstring DriveRoot(int letter_index) {
  return std::wstring(1, static_cast<wchar_t>(L'A' + letter_index)) + L":\\";
}

bool IsEligibleDrive(const std::wstring& root) {
  const uint32_t type = platform::DriveTypeOf(root);
  return type == platform::kDriveRemovable || type == platform::kDriveFixed || type == platform::kDriveRamDisk;
}

void ScanAllDrives(const std::atomic<bool>* stop) {
  const uint32_t mask = platform::LogicalDriveMask();
  for (int letter = 0; letter < kLetters; ++letter) {
    if (!AppRunning.load() || (stop != nullptr && stop->load())) return;
    const std::wstring root = DriveRoot(letter);
    if (!(mask & (1u << letter)) || !IsEligibleDrive(root)) continue;
    if (!platform::VolumeIsReady(root)) {
      AppendActivity(L"[SCAN] Drive not ready, skipped: " + root);
      continue;
    }
    AppendActivity(L"[SCAN] Whole-disk pass: " + root);
    try {
      if (!ScanFolderTree(root, stop)) {
        AppendActivity(L"[SCAN] Whole-disk pass stopped before the end: " + root);
        return;
      }
    } catch (...) {
      AppendActivity(L"[SCAN] Drive skipped after error: " + root);  // costs this drive only
    }
  }
}

void WatchForNewDisks() {
  uint32_t mask = platform::LogicalDriveMask();
  while (AppRunning.load()) {
    SleepForPeriod(kDiskPollMs);
    if (!AppRunning.load()) return;
    const uint32_t now = platform::LogicalDriveMask();
    const uint32_t added = now & ~mask;
    for (int letter = 0; letter < kLetters; ++letter) {
      const std::wstring root = DriveRoot(letter);
      if ((added & (1u << letter)) && IsEligibleDrive(root)) {
        StartOneShot(L"new-disk", [root] { ScanNewDisk(root); });
      }
    }
    mask = now;  // a drive removed and inserted again counts as new once more
  }
}

void ScanNewDisk(const std::wstring& root) {
  AppendActivity(L"[DISK] New volume detected, scanning: " + root);
  ThreatState.store(0);
  UpdateStatus(L"New disk connected \u2014 scanning it.", L"");
  if (ScanFolderTree(root, nullptr)) {
    AppendActivity(L"[DISK] Finished new-disk scan: " + root);
  } else {
    AppendActivity(L"[DISK] New-disk scan stopped before the end: " + root);
  }
}
