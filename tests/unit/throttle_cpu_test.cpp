#include <thread>
#include <vector>

#include "app/throttle.h"
#include "standin_fixture.h"

using ThrottleTest = StandinTest;

TEST_F(ThrottleTest, DelayByProcessorLoad) {
  const struct {
    float percent;
    uint32_t delay;
  } cases[] = {{100.0f, 160}, {85.0f, 160}, {84.9f, 80}, {70.0f, 80}, {69.9f, 25},
               {45.0f, 25},   {44.9f, 6},   {25.0f, 6},  {24.9f, 0},  {0.0f, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.percent);
    EXPECT_EQ(ThrottleDelayMs(c.percent), c.delay);
  }
}

TEST_F(ThrottleTest, BusyMachineAddsTheDelayToTheCounterAndSleeps) {
  standin::SetCpuPercent(90.0);
  OpenCpuSampler();
  ThrottleForCpu();
  ThrottleForCpu();  // same 2 s slot: the old sample stands
  EXPECT_EQ(RunCounters.throttle_ms.load(), 320u);
  EXPECT_EQ(standin::Sleeps(), (std::vector<uint64_t>{160, 160}));
  EXPECT_EQ(standin::CpuCollections(), 2);  // priming at open, then one sample
}

TEST_F(ThrottleTest, QuietMachineNeitherSleepsNorCounts) {
  standin::SetCpuPercent(24.0);
  OpenCpuSampler();
  ThrottleForCpu();
  EXPECT_EQ(RunCounters.throttle_ms.load(), 0u);
  EXPECT_TRUE(standin::Sleeps().empty());
}

using CpuSamplerTest = StandinTest;

TEST_F(CpuSamplerTest, AtMostOneCollectionPerTwoSeconds) {
  standin::SetCpuPercent(40.0);
  OpenCpuSampler();
  OpenCpuSampler();  // once only
  const int primed = standin::CpuCollections();
  SampleCpu();
  SampleCpu();
  EXPECT_EQ(standin::CpuCollections(), primed + 1);
  EXPECT_FLOAT_EQ(CpuPercent.load(), 40.0f);

  standin::SetCpuPercent(55.5);
  standin::AdvanceClock(1999);
  SampleCpu();
  EXPECT_EQ(standin::CpuCollections(), primed + 1);
  standin::AdvanceClock(1);
  SampleCpu();
  EXPECT_EQ(standin::CpuCollections(), primed + 2);
  EXPECT_FLOAT_EQ(CpuPercent.load(), 55.5f);
}

TEST_F(CpuSamplerTest, ConcurrentCallersShareOneSlot) {
  OpenCpuSampler();
  const int primed = standin::CpuCollections();
  std::vector<std::thread> callers;
  for (int i = 0; i < 8; ++i) callers.emplace_back([] {
    for (int j = 0; j < 100; ++j) SampleCpu();
  });
  for (auto& t : callers) t.join();
  EXPECT_EQ(standin::CpuCollections(), primed + 1);
}

TEST_F(CpuSamplerTest, UnavailableOrClosedQueryLeavesTheValue) {
  standin::SetCpuQueryWorks(false);
  standin::SetCpuPercent(99.0);
  OpenCpuSampler();
  SampleCpu();
  EXPECT_EQ(CpuPercent.load(), 0.0f);
  EXPECT_EQ(standin::CpuCollections(), 0);

  ResetCpuSamplerForTest();
  standin::SetCpuQueryWorks(true);
  OpenCpuSampler();
  CloseCpuSampler();
  SampleCpu();
  EXPECT_EQ(CpuPercent.load(), 0.0f);
}
