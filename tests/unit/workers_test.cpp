#include <algorithm>

#include "standin_fixture.h"

class WorkersTest : public StandinTest {
 protected:
  static std::vector<std::wstring> Names(const std::vector<standin::StartedThread>& threads) {
    std::vector<std::wstring> names;
    for (const auto& t : threads) names.push_back(t.name);
    return names;
  }
  // Runs the recorded worker's body on this thread until it has slept `sleeps` times.
  static void RunWorker(const std::wstring& name, int sleeps) {
    const auto threads = standin::StartedThreads();
    const auto found = std::find_if(threads.begin(), threads.end(),
                                    [&](const standin::StartedThread& t) { return t.name == name; });
    ASSERT_NE(found, threads.end());
    StopAfterSleeps(sleeps);
    found->body();
  }
};

TEST_F(WorkersTest, WorkstationStartsEachWorkerOnceInOrder) {
  OsProfile.OsClass = kOsWorkstation;
  StartLongLivedWorkers();
  StartLongLivedWorkers();
  EXPECT_EQ(Names(standin::StartedThreads()),
            (std::vector<std::wstring>{L"q-worker-a", L"q-worker-b", L"integrity-learner", L"hash-reload",
                                       L"ai-manager", L"downloads-watch", L"disk-watch", L"integrity-pulse",
                                       L"proc-watch"}));
}

TEST_F(WorkersTest, ServerAddsTheServerGuardBeforeTheProcessWatch) {
  OsProfile.OsClass = kOsServer;
  StartLongLivedWorkers();
  const auto names = Names(standin::StartedThreads());
  ASSERT_EQ(names.size(), 10u);
  EXPECT_EQ(names[8], L"server-guard");
  EXPECT_EQ(names[9], L"proc-watch");

  RunWorker(L"server-guard", 3);
  EXPECT_EQ(ActivityLines(), std::vector<std::wstring>{L"[SERVER] Server protection on."});
  EXPECT_EQ(standin::Sleeps(), (std::vector<uint64_t>{45000, 45000, 45000}));
}

TEST_F(WorkersTest, PeriodsFollowVisibilityAndLoad) {
  const struct {
    bool visible;
    float cpu;
    uint64_t pulse;
    uint64_t proc;
  } cases[] = {
      {true, 10.0f, 20000, 20000},
      {false, 10.0f, 90000, 60000},
      {true, 85.0f, 65000, 20000},
      {false, 97.0f, 135000, 60000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.visible << " " << c.cpu);
    EXPECT_EQ(IntegrityPulsePeriodMs(c.visible, c.cpu), c.pulse);
    EXPECT_EQ(ProcWatchPeriodMs(c.visible), c.proc);
  }
}

TEST_F(WorkersTest, HiddenWindowSlowsTheProcessWatchAndThePulse) {
  UiVisible.store(false);
  StartLongLivedWorkers();
  RunWorker(L"proc-watch", 2);
  EXPECT_EQ(standin::Sleeps(), (std::vector<uint64_t>{60000, 60000}));

  standin::Reset();
  AppRunning.store(true);
  ResetWorkersForTest();
  StartLongLivedWorkers();
  RunWorker(L"integrity-pulse", 2);
  EXPECT_EQ(standin::Sleeps(), (std::vector<uint64_t>{90000, 90000}));
}

TEST_F(WorkersTest, PeriodicWorkersStopAfterTheirSleepOnceStopped) {
  StartLongLivedWorkers();
  const struct {
    const wchar_t* name;
    uint64_t period;
  } cases[] = {{L"integrity-learner", 120000}, {L"hash-reload", 600000}, {L"ai-manager", 15000},
               {L"disk-watch", 2000}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    standin::Reset();
    AppRunning.store(true);
    ResetWorkersForTest();
    StartLongLivedWorkers();
    RunWorker(c.name, 1);
    EXPECT_EQ(standin::Sleeps(), std::vector<uint64_t>{c.period});
  }
  EXPECT_TRUE(ActivityLines().empty());  // no server line on a workstation
}
