#pragma once
// The activity log: the last 50 lines the program reports, shown in the dashboard,
// and the status values kept under the same lock.
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

constexpr std::size_t kActivityLogCapacity = 50;

// Guards the activity log, StatusText and ActiveTarget. Never held while appending.
extern std::mutex UiStateLock;
extern std::wstring StatusText;    // latest status sentence
extern std::wstring ActiveTarget;  // file most recently flagged or put up for review

// Adds one line at the end, dropping the oldest beyond 50. Never throws. The line
// also goes to the system debug channel for support tools.
void AppendActivity(const std::wstring& line);

// Sets StatusText and ActiveTarget, then appends the sentence as a line of its own.
void UpdateStatus(const std::wstring& sentence, const std::wstring& target);

// Visits the lines oldest first while holding UiStateLock.
void ForEachActivityLine(const std::function<void(const std::wstring&)>& visit);

// A copy of the lines, oldest first.
std::vector<std::wstring> ActivityLines();

// Empties the log and restores the initial status (start of a run, and tests).
void ResetActivityState();
