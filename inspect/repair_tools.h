#pragma once
// The official Windows repair tools and the restart into Windows Recovery.

// The body of "winre": asks, then schedules a restart into Windows Recovery (admin mode only).
void OpenWindowsRecovery();
