#pragma once
// The two scans a user can ask for: the quick scan of the places where new malware
// lands, and the deep scan of every local drive.

// Body of "quick-scan", "tray-scan", "boot-scan" and "headless-scan".
void RunQuickScan();

// Body of "deep-scan".
void RunDeepScan();
