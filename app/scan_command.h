#pragma once
// KestruneScan: the command-line scanner over the same engine. It scores files
// and folders and reports; it never moves, deletes or records anything.
#include <string>
#include <vector>

// Exit codes: nothing reached quarantine, something did, usage or read error.
constexpr int kScanCleanExit = 0;
constexpr int kScanThreatExit = 1;
constexpr int kScanErrorExit = 2;

// Runs the scanner on its arguments (without the program name) and returns the exit code.
int RunScanCommand(const std::vector<std::wstring>& args);
