#pragma once
// The walks that take whole folders through the per-file scan.
#include <cstdint>
#include <string>

// Walks the tree under root and scans every regular file in it: excluded places are
// not entered, links and junctions are not followed, folders that refuse access are
// passed over. Ends at the end of the tree, at the first other listing error, or when
// AppRunning is cleared or ScanStopRequested is set. Throws a file-system error named
// "exists" when the root's existence cannot be told.
void ScanFolderTree(const std::wstring& root);

// The progress shown after n walked files: min(0.99, 0.08 + 0.9 (1 - e^(-n/8000))).
float WalkProgressAfter(uint64_t walked_files);

// The walk over every user profile's Downloads, Desktop and AppData\Local\Temp (the
// body of "admin-users"); "Public", "Default" and "All Users" are left out.
void ScanAllUserFolders();
