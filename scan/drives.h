#pragma once
// Whole drives: the deep scan's pass over every local drive and the watch for new
// volumes (USB sticks, memory cards) that scans each one as it arrives.
#include <atomic>
#include <cstdint>
#include <string>

// "A:\" for bit 0 of the drive mask, up to "Z:\".
std::wstring DriveRoot(int letter_index);

// Removable, fixed and RAM disks are walked; network, optical and unknown drives never.
bool IsEligibleDrive(const std::wstring& root);

// The whole-disk pass of the deep scan, A to Z; ends early when *stop is set (the
// stop meant for the scan it belongs to), saying which drive it was walking.
void ScanAllDrives(const std::atomic<bool>* stop);

// The "disk-watch" worker: polls the drive mask every 2 s and starts the one-shot
// thread "new-disk" for every eligible drive that appeared since the last poll.
void WatchForNewDisks();

// The walk of one newly attached drive (the body of "new-disk"). No stop meant for a
// visible scan cuts it short, only the program's end; its last line says whether it
// walked the whole drive.
void ScanNewDisk(const std::wstring& root);
