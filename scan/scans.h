#pragma once
// The two scans a user can ask for: the quick scan of the places where new malware
// lands, and the deep scan of every local drive.

// The dashboard's one-minute stop (ScanStopRequested) ends the walks of the visible
// scan it was meant for (run through RunAsVisibleScan), and no other walk: each scan
// still runs its remaining steps and its end sequence.

// Body of "quick-scan", "tray-scan", "boot-scan" and "headless-scan".
void RunQuickScan();

// Body of "deep-scan".
void RunDeepScan();
