#pragma once
// Every test starts on a fresh stand-in machine whose C: drive is a temporary folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/activity_log.h"
#include "app/cpu_sampler.h"
#include "app/data_dir.h"
#include "app/os_profile.h"
#include "app/run_counters.h"
#include "app/runtime_state.h"
#include "app/scan_state.h"
#include "app/workers.h"
#include "platform/standin/control.h"

class StandinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    standin::Reset();
    ResetActivityState();
    ResetCpuSamplerForTest();
    ResetWorkersForTest();
    ResetDataPathsForTest();
    OsProfile = OsProfileData();
    AppRunning.store(true);
    UiVisible.store(true);
    BackgroundStart.store(false);
    ScanActive.store(false);
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

  std::filesystem::path drive_c_;
};
