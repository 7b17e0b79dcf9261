// The shared state under real threads: the activity log, the bad-hash set swap, the
// isolation queue with both workers, the run counters and scans sharing the index.
// Meant for the ThreadSanitizer build as much as for the answers checked here.
#include <thread>
#include <vector>

#include "app/wide.h"
#include "engine/path_classes.h"
#include "response/threat_manager.h"
#include "scan/folder_walk.h"
#include "scan_fixture.h"

class ConcurrencyTest : public ScanTest {
 protected:
  void SetUp() override {
    ScanTest::SetUp();
    ResetThreatManagerForTest();
  }
  template <typename Work>
  static void OnThreads(int count, Work work) {
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i) threads.emplace_back(work, i);
    for (auto& thread : threads) thread.join();
  }
};

TEST_F(ConcurrencyTest, ActivityLogStaysWholeUnderParallelAppends) {
  OnThreads(4, [](int id) {
    for (int i = 0; i < 300; ++i) {
      AppendActivity(L"[SCAN] thread " + std::to_wstring(id) + L" line " + std::to_wstring(i));
      if (i % 50 == 0) UpdateStatus(L"Scanning", L"C:\\x");
    }
  });
  const auto lines = ActivityLines();
  EXPECT_EQ(lines.size(), kActivityLogCapacity);
  for (const auto& line : lines) EXPECT_TRUE(line.rfind(L"[SCAN] thread ", 0) == 0 || line == L"Scanning");
}

TEST_F(ConcurrencyTest, ReadersSeeTheOldOrTheNewBadHashSet) {
  const std::wstring a(64, L'a');
  const std::wstring b(64, L'b');
  ReplaceBadHashes({a});
  std::atomic<bool> done{false};
  std::atomic<int> torn{0};
  std::thread writer([&] {
    for (int i = 0; i < 2000; ++i) {
      ReplaceBadHashes(i % 2 ? std::unordered_set<std::wstring>{a} : std::unordered_set<std::wstring>{b});
    }
    done.store(true);
  });
  OnThreads(3, [&](int) {
    while (!done.load()) {
      IsBadHash(a);
      IsBadHash(b);
      if (BadHashCount() != 1) torn.fetch_add(1);  // each set holds exactly one hash
    }
  });
  writer.join();
  EXPECT_EQ(torn.load(), 0);
}

TEST_F(ConcurrencyTest, BothIsolationWorkersDrainTheQueueOnce) {
  std::vector<std::wstring> files;
  for (int i = 0; i < 40; ++i) {
    files.push_back(PutFile(std::wstring(kDownloads) + L"\\threat-" + std::to_wstring(i) + L".exe", "MZ " + std::to_string(i)));
  }
  std::thread worker_a(IsolationWorkerJob);
  std::thread worker_b(IsolationWorkerJob);
  OnThreads(2, [&files](int half) {
    for (std::size_t i = half; i < files.size(); i += 2) QueueForIsolation(files[i], 9, false);
  });
  WaitForIsolationIdle();
  AppRunning.store(false);
  WorkerWake.notify_all();
  worker_a.join();
  worker_b.join();
  AppRunning.store(true);
  for (const auto& file : files) {
    SCOPED_TRACE(Ascii(file));
    EXPECT_FALSE(std::filesystem::exists(standin::HostPath(file)));
    EXPECT_TRUE(std::filesystem::exists(standin::HostPath(L"C:\\KestruneAV\\Quarantine\\" + FileNameOf(file))));
  }
  EXPECT_EQ(IsolationInFlight.load(), 0);
}

TEST_F(ConcurrencyTest, ScansShareTheIndexAndCountersWhileTheyAreSaved) {
  for (int i = 0; i < 60; ++i) PutFile(std::wstring(kDownloads) + L"\\note-" + std::to_wstring(i) + L".txt", "figures");
  std::atomic<bool> done{false};
  std::thread saver([&] {
    while (!done.load()) {
      SaveScanIndex();
      WriteRunCounters(true);
    }
  });
  OnThreads(2, [](int) { ScanFolderTree(kDownloads); });
  done.store(true);
  saver.join();
  SaveScanIndex();
  // Each file was judged by one scan or seen unchanged by the other.
  EXPECT_EQ(RunCounters.scanned.load() + RunCounters.skipped_unchanged.load(), 120u);
  EXPECT_GE(RunCounters.scanned.load(), 60u);
  std::lock_guard<std::mutex> hold(ScanIndexLock);
  EXPECT_EQ(ScanIndex.size(), 60u);
}
