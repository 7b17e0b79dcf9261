#include <thread>

#include "app/telemetry.h"
#include "standin_fixture.h"

class TelemetryTest : public StandinTest {
 protected:
  void SetUp() override {
    StandinTest::SetUp();
    TelemetryPath = L"C:\\KestruneAV\\telemetry.txt";
    std::filesystem::create_directories(drive_c_ / "KestruneAV");
  }
  bool Written() { return std::filesystem::exists(standin::HostPath(TelemetryPath)); }
};

TEST_F(TelemetryTest, TheLineWithCrLf) {
  RunCounters.scanned = 12;
  RunCounters.skipped_unchanged = 3;
  RunCounters.quarantined = 1;
  RunCounters.throttle_ms = 6;
  WriteRunCounters(false);
  EXPECT_EQ(HostBytes(TelemetryPath),
            "scanned=12 skipped_unchanged=3 deferred_other_av=0 quarantined=1 throttle_ms=6\r\n");
}

TEST_F(TelemetryTest, ThreeMinuteSlotForUnforcedWrites) {
  RunCounters.scanned = 1;
  WriteRunCounters(false);
  RunCounters.scanned = 2;
  standin::AdvanceClock(10000);
  WriteRunCounters(false);  // 10 s later: held back
  EXPECT_EQ(HostBytes(TelemetryPath).rfind("scanned=1 ", 0), 0u);
  WriteRunCounters(true);  // forced: always
  EXPECT_EQ(HostBytes(TelemetryPath).rfind("scanned=2 ", 0), 0u);

  RunCounters.scanned = 3;
  standin::AdvanceClock(179999);
  WriteRunCounters(false);
  EXPECT_EQ(HostBytes(TelemetryPath).rfind("scanned=2 ", 0), 0u);
  standin::AdvanceClock(1);
  WriteRunCounters(false);
  EXPECT_EQ(HostBytes(TelemetryPath).rfind("scanned=3 ", 0), 0u);
}

TEST_F(TelemetryTest, NothingWrittenWhenOnlyThrottleMoved) {
  RunCounters.throttle_ms = 500;
  WriteRunCounters(true);
  EXPECT_FALSE(Written());
  TelemetryPath.clear();
  RunCounters.scanned = 1;
  WriteRunCounters(true);
}

TEST_F(TelemetryTest, LargeValuesInFullDecimal) {
  RunCounters.deferred_other_av = 5000000000ull;
  WriteRunCounters(true);
  EXPECT_EQ(HostBytes(TelemetryPath),
            "scanned=0 skipped_unchanged=0 deferred_other_av=5000000000 quarantined=0 throttle_ms=0\r\n");
}

TEST_F(TelemetryTest, OverlappingForcedWritesLeaveOneWholeLine) {
  RunCounters.scanned = 1;
  std::vector<std::thread> writers;
  for (int i = 0; i < 4; ++i) writers.emplace_back([] {
    for (int j = 0; j < 50; ++j) {
      RunCounters.scanned.fetch_add(1);
      WriteRunCounters(true);
    }
  });
  for (auto& t : writers) t.join();
  const std::string text = HostBytes(TelemetryPath);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1);
  EXPECT_EQ(text.rfind("scanned=", 0), 0u);
}
