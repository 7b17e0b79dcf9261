#pragma once
// Files hidden from one folder listing: a user-mode rootkit filters what the find
// interface returns, so each folder is listed twice, through the find interface and
// through the native directory query, and a file only the second one shows is a
// mismatch.
#include <cstddef>
#include <string>

// The most file names of one folder the comparison keeps; a folder with more is
// skipped with a line rather than held in memory whole.
constexpr std::size_t kCrossViewMaxNames = 100000;

// Compares the two listings of the folder. A name only the native listing shows is
// looked for again in fresh listings of both kinds before it counts, so that a file
// created or removed while the folder was being listed is no mismatch. Each mismatch
// is a found threat: it is reported, the dashboard shows it, it counts as contained
// and the file is scanned. A folder that cannot be compared (a listing that breaks
// off part-way or fails, more names than the bound) is one "[ROOTKIT] " line and is
// skipped; a scan stop or the program's end ends the comparison with nothing reported.
void CrossViewFolder(const std::wstring& folder);

// The step "cross-view": C:\Windows\Temp, C:\Users and the temporary folder.
void CrossViewScan();

// The same comparison for review only (the quick scan's Downloads and temporary
// folders): mismatches are reported, nothing is scanned. System places are not
// looked at, and any failure becomes one line instead of ending the scan.
void CheckUserModeHiding(const std::wstring& folder);
