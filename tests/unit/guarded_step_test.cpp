#include <stdexcept>

#include "app/guarded_step.h"
#include "standin_fixture.h"

using GuardedStepTest = StandinTest;

TEST_F(GuardedStepTest, FaultsBecomeOneLineAndFalse) {
  struct Case {
    const char* what;
    Job job;
    bool ok;
    const wchar_t* line;  // nullptr: no line
  };
  const Case cases[] = {
      {"normal return", [] {}, true, nullptr},
      {"standard exception", [] { throw std::runtime_error("disk gone"); }, false,
       L"[FAULT] file-scan recovered: disk gone"},
      {"non-standard value", [] { throw 42; }, false, L"[FAULT] file-scan recovered from unknown failure."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ResetActivityState();
    EXPECT_EQ(RunGuarded(L"file-scan", c.job), c.ok);
    const auto lines = ActivityLines();
    if (c.line) {
      ASSERT_EQ(lines.size(), 1u);
      EXPECT_EQ(lines[0], c.line);
    } else {
      EXPECT_TRUE(lines.empty());
    }
  }
}

TEST_F(GuardedStepTest, NestedGuardsLogSeparately) {
  EXPECT_TRUE(RunGuarded(L"quick-scan", [] {
    RunGuarded(L"file-scan", [] { throw std::runtime_error("locked"); });
  }));
  EXPECT_EQ(ActivityLines(), std::vector<std::wstring>{L"[FAULT] file-scan recovered: locked"});
}

TEST_F(GuardedStepTest, RetryRhythmPausesAfterMoreThanFiftyFaultsInARow) {
  int runs = 0;
  StopAfterSleeps(53);  // 50 retries, the pause, two more retries
  RetryingStep(L"hash-reload", [&] {
    ++runs;
    throw std::runtime_error("boom");
  });

  std::vector<uint64_t> expected(50, 2000);
  expected.push_back(30000);
  expected.push_back(2000);
  expected.push_back(2000);
  EXPECT_EQ(standin::Sleeps(), expected);
  EXPECT_EQ(runs, 53);

  // The debug channel is not capped, so it shows the whole sequence.
  const auto lines = standin::DebugLines();
  ASSERT_EQ(lines.size(), 54u);
  for (int i = 0; i < 51; ++i) EXPECT_EQ(lines[i], L"[FAULT] hash-reload recovered: boom") << i;
  EXPECT_EQ(lines[51], L"[FAULT] hash-reload paused after repeated failures.");
  EXPECT_EQ(lines[52], L"[FAULT] hash-reload recovered: boom");
}

TEST_F(GuardedStepTest, RetryingStepEndsOnNormalReturnOrStop) {
  int runs = 0;
  RetryingStep(L"downloads-watch", [&] { ++runs; });
  EXPECT_EQ(runs, 1);
  EXPECT_TRUE(standin::Sleeps().empty());

  // Stopped while waiting for the retry: the job does not run again.
  runs = 0;
  StopAfterSleeps(1);
  RetryingStep(L"proc-watch", [&] {
    ++runs;
    throw std::runtime_error("x");
  });
  EXPECT_EQ(runs, 1);

  // Not running at all: the job never starts.
  runs = 0;
  RetryingStep(L"proc-watch", [&] { ++runs; });
  EXPECT_EQ(runs, 0);
}

TEST_F(GuardedStepTest, OneShotRunsGuardedOnItsOwnThread) {
  StartOneShot(L"deep-scan", [] { throw std::runtime_error("no drive"); });
  const auto threads = standin::StartedThreads();
  ASSERT_EQ(threads.size(), 1u);
  EXPECT_EQ(threads[0].name, L"deep-scan");
  EXPECT_TRUE(ActivityLines().empty());
  threads[0].body();
  EXPECT_EQ(ActivityLines(), std::vector<std::wstring>{L"[FAULT] deep-scan recovered: no drive"});
}

TEST_F(GuardedStepTest, DeadlineSaturatesAtTheClockMaximum) {
  EXPECT_EQ(DeadlineAfterMs(500), standin::Now() + 500);
  EXPECT_EQ(DeadlineAfterMs(UINT64_MAX - 1), UINT64_MAX);
}
