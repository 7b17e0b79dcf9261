#pragma once
// The walks that take whole folders through the per-file scan.
#include <atomic>
#include <cstdint>
#include <string>

// How many folders that cannot be listed one walk names one by one; the rest are
// counted in one line at the end of the walk.
constexpr int kSkippedFolderLines = 20;

// Walks the tree under root and scans every regular file in it: excluded places are
// not entered, links and junctions are not followed. A folder that cannot be listed
// (access refused, a path the file system will not take, a folder gone meanwhile, a
// dropped share) is skipped with a "[SCAN] " line naming it and the reason, and the
// walk goes on. Ends at the end of the tree, when AppRunning is cleared, or when
// *stop is set (a stop meant for the scan this walk belongs to; nothing but the
// program's end stops a walk given none). True when the walk reached the end of the
// tree, false when it was stopped. A missing root is an empty tree; a root that
// cannot be listed for any other reason is skipped like any other folder.
bool ScanFolderTree(const std::wstring& root, const std::atomic<bool>* stop = nullptr);

// The files directly in the folder, without entering sub-folders, each through the
// "file-scan" step after the processor back-off. A folder that is missing is
// nothing; one that cannot be listed gets the skip line. Stops only when AppRunning
// is cleared: false then, true otherwise.
bool ScanFolderFiles(const std::wstring& folder);

// The progress shown after n walked files: min(0.99, 0.08 + 0.9 (1 - e^(-n/8000))).
float WalkProgressAfter(uint64_t walked_files);

// The walk over every user profile's Downloads, Desktop and AppData\Local\Temp (the
// body of "admin-users", a step of the quick and deep scans, so a visible scan's stop ends it);
// "Public", "Default" and "All Users" are left out.
void ScanAllUserFolders();
