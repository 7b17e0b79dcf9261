#pragma once
// Every test starts on a fresh stand-in machine whose C: drive is a temporary folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/activity_log.h"
#include "app/cpu_sampler.h"
#include "app/data_dir.h"
#include "app/os_profile.h"
#include "app/run_counters.h"
#include "app/runtime_state.h"
#include "app/scan_state.h"
#include "app/telemetry.h"
#include "app/workers.h"
#include "engine/hash_lists.h"
#include "engine/scan_index.h"
#include "engine/verdict.h"
#include "inspect/server_guard.h"
#include "platform/standin/control.h"
#include "response/snapshots.h"
#include "upkeep/admin_mode.h"
#include "upkeep/self_check.h"

class StandinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    standin::Reset();
    ResetActivityState();
    ResetCpuSamplerForTest();
    ResetWorkersForTest();
    ResetDataPathsForTest();
    OsProfile = OsProfileData();
    ResetHashListsForTest();
    ResetTelemetryForTest();
    ResetExecutableReferenceForTest();
    {
      std::lock_guard<std::mutex> hold(ScanIndexLock);
      ScanIndex.clear();
    }
    AdminMode.store(false);
    IntegrityEventCount.store(0);
    AppRunning.store(true);
    UiVisible.store(true);
    BackgroundStart.store(false);
    ScanActive.store(false);
    ScanProgress.store(0.0f);
    ScanStopRequested.store(false);
    WalkedFileCount.store(0);
    ThreatState.store(0);
    RestartPromptPending.store(false);
    BootFilesIntact.store(true);
    OverlayShown.store(false);
    WarningNoticeShown.store(false);
    ContainCount.store(0);
    ServerNoticeShown.store(false);
    ResetSnapshotsForTest();
    OverlayFade.store(0.0f);
    for (auto* counter : {&RunCounters.scanned, &RunCounters.skipped_unchanged,
                          &RunCounters.deferred_other_av, &RunCounters.quarantined,
                          &RunCounters.throttle_ms}) {
      counter->store(0);
    }
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    drive_c_ = std::filesystem::temp_directory_path() /
               ("kav-" + std::string(info->test_suite_name()) + "-" + info->name());
    std::filesystem::remove_all(drive_c_);
    std::filesystem::create_directories(drive_c_);
    standin::MapDrive(L'C', drive_c_.string());
  }

  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(drive_c_, ignored);
  }

  // Clears AppRunning once the given number of sleeps have passed.
  static void StopAfterSleeps(int sleeps) {
    auto count = std::make_shared<int>(0);
    standin::OnSleep([count, sleeps](uint64_t) {
      if (++*count >= sleeps) AppRunning.store(false);
    });
  }

  // Writes a file on drive C: by its Windows path, creating its folders.
  std::wstring PutFile(const std::wstring& windows_path, const std::string& bytes) {
    const std::filesystem::path host = standin::HostPath(windows_path);
    std::filesystem::create_directories(host.parent_path());
    std::ofstream(host, std::ios::binary) << bytes;
    return windows_path;
  }

  std::string HostBytes(const std::wstring& windows_path) {
    std::ifstream in(standin::HostPath(windows_path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  std::filesystem::path drive_c_;
};
