#pragma once
// Scan and display state written by scans and response and read by the dashboard.
#include <atomic>
#include <cstdint>

extern std::atomic<bool> ScanActive;
extern std::atomic<float> ScanProgress;       // 0 to 1
extern std::atomic<bool> ScanStopRequested;  // the one-minute stop: only the visible scan heeds it
extern std::atomic<uint64_t> WalkedFileCount;
extern std::atomic<int> ThreatState;          // 0 none, 1 needs review, 2 threat found
extern std::atomic<float> OverlayFade;        // scan overlay opacity, 0 when gone
extern std::atomic<bool> OverlayShown;        // the scan overlay is wanted
extern std::atomic<bool> WarningNoticeShown;  // once-flags for balloons, cleared by a visible scan
extern std::atomic<bool> BatchNoticeShown;
extern std::atomic<int> ContainCount;
extern std::atomic<int> HeldCount;            // files held for the batch decision
extern std::atomic<int> IsolationInFlight;    // files being moved into quarantine
extern std::atomic<bool> RestartPromptPending;
extern std::atomic<bool> BootFilesIntact;

// The dashboard's one-minute stop is meant for the visible scan it stopped, not for a
// boot or headless scan running beside it: a visible scan runs its body through
// RunAsVisibleScan, and a scan's stop tests ask StopForThisScan, which is
// &ScanStopRequested on that thread and null (only the program's end) on any other.
void RunAsVisibleScan(void (*scan)());
const std::atomic<bool>* StopForThisScan();
