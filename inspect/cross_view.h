#pragma once
// Files hidden from one folder listing: a user-mode rootkit filters what the find
// interface returns, so each folder is listed twice, through the find interface and
// through the standard library, and a regular file only the second one shows is a
// mismatch.
#include <string>

// Compares the two listings of the folder. Each mismatch is a found threat: it is
// reported, the dashboard shows it, it counts as contained and the file is scanned.
// An error while the library lists the folder throws and ends the caller's step.
void CrossViewFolder(const std::wstring& folder);

// The step "cross-view": C:\Windows\Temp, C:\Users and the temporary folder.
void CrossViewScan();

// The same comparison for review only (the quick scan's Downloads and temporary
// folders): mismatches are reported, nothing is scanned. System places are not
// looked at, and any failure becomes one fault line instead of ending the scan.
void CheckUserModeHiding(const std::wstring& folder);
