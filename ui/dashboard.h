#pragma once
// The program's only window content, drawn every frame inside "gui-frame".
#include <cstdint>

// One frame: the Terms page, the VPN panel, the scan overlay or the main dashboard,
// then the restart prompt.
void DrawDashboard();

// The scan watchdog: raises shown progress to 5 %, ends the display of a scan whose
// progress has not moved for 5 s, and stops a visible scan after one minute.
void RunScanWatchdog(uint64_t now);

// One step of the overlay fade and the progress animation.
void AnimateOverlay();
