#pragma once
// Real-time protection of the user's Downloads folder.
#include <cstddef>
#include <string>

#include "platform/folder_changes.h"

// Large enough for a burst of downloads with long names; an overflow still only
// leaves that burst to the next scan.
constexpr std::size_t kDownloadsBufferBytes = 65536;
constexpr uint32_t kDownloadSettleMs = 400;

// The "downloads-watch" worker: scans every file added, written or renamed into the
// Downloads folder (not its sub-folders) once it is complete and has settled.
// A Downloads folder that is deleted, moved away or cannot be opened is watched
// again once it is there. Returns when AppRunning is cleared (or there is no profile).
void WatchDownloads();

// One change record of the watched folder: scanned after the CPU hold (5 s at most)
// and the settle delay when it names a new, written or renamed-to file that is complete.
void HandleDownloadChange(const std::wstring& folder, const platform::FolderChange& change);
