#include "app/scan_state.h"

std::atomic<bool> ScanActive{false};
std::atomic<float> ScanProgress{0.0f};
std::atomic<bool> ScanStopRequested{false};
std::atomic<uint64_t> WalkedFileCount{0};
std::atomic<int> ThreatState{0};
std::atomic<float> OverlayFade{0.0f};
std::atomic<bool> OverlayShown{false};
std::atomic<bool> WarningNoticeShown{false};
std::atomic<bool> BatchNoticeShown{false};
std::atomic<int> ContainCount{0};
std::atomic<int> HeldCount{0};
std::atomic<int> IsolationInFlight{0};
std::atomic<bool> RestartPromptPending{false};
std::atomic<bool> BootFilesIntact{true};

namespace {
thread_local bool g_visible_scan_thread = false;
}

void RunAsVisibleScan(void (*scan)()) {
  struct Marked {
    Marked() { g_visible_scan_thread = true; }
    ~Marked() { g_visible_scan_thread = false; }
  } marked;
  scan();
}

const std::atomic<bool>* StopForThisScan() { return g_visible_scan_thread ? &ScanStopRequested : nullptr; }
