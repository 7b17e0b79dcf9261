#pragma once
// The one road from every scan to a single file: readiness, lock probe, the scan
// index, snapshots, the engine, and the hand-off of what it finds.
#include <string>

#include "engine/heuristic_result.h"

// Takes one file through the engine. Nothing for an empty path or a path inside the
// quarantine or snapshot folder; everything found goes to the run counters, the
// activity log, the dashboard status and the threat manager.
void ScanFile(const std::wstring& path);

// ScanFile as the guarded step "file-scan": a fault costs this file only.
void ScanFileStep(const std::wstring& path);

// The file's last write time and size, following links; a field that cannot be read is 0.
FileStamp ReadFileStamp(const std::wstring& path);

// True when the file's stamp is non-zero and equal to the one in the scan index.
bool IsUnchangedSinceLastScan(const std::wstring& path);
