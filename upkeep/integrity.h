#pragma once
// The engine marker, a small text file in the data folder that turns into noise when
// something encrypts the folder, its read-only backup, and the integrity routine that
// the integrity workers and the disinfection pass run.
#include <string>

// Entropy above this (bits per byte, over the whole file) means scrambled.
constexpr double kScrambledEntropy = 7.2;

// True when the file is missing, unreadable, shorter than 8 bytes, or its entropy
// is above 7.2 bits per byte.
bool IsMarkerScrambled(const std::wstring& path);

// Copies a healthy marker over the backup and makes the backup read-only; a
// scrambled or missing marker leaves the backup as it is.
void RefreshMarkerBackup();

// One pass of the integrity routine: the self-check of the executable, then the
// scramble test of the marker; a scrambled marker is counted, reported, restored
// from the backup and the bad-hash list reloaded. Runs one pass at a time.
void RunIntegrityCheck();

// The start-up step "integrity-baseline": refreshes the backup and says so.
void RunIntegrityBaseline();
