#pragma once
// The data folder, the full path of every data file, and the first start-up step.
#include <atomic>
#include <string>
#include <string_view>

// Set once by "init-paths" before any worker starts; read-only afterwards.
extern std::wstring DataDir;
extern std::wstring QuarantineDir;
extern std::wstring SnapshotsDir;
extern std::wstring EngineMarkerPath;
extern std::wstring EngineMarkerBackupPath;
extern std::wstring AdminPreferencePath;
extern std::wstring TermsPath;
extern std::wstring SafeHashesPath;
extern std::wstring ScanIndexPath;
extern std::wstring TelemetryPath;

// True until the user has accepted the terms ("yes" as the terms file's first word).
extern std::atomic<bool> TermsPending;

// True when the first whitespace-delimited word is exactly "yes".
bool TermsAcceptedIn(std::string_view text);

// %ProgramData%\KestruneAV, or C:\KestruneAV when ProgramData is not set.
std::wstring DefaultDataDir();

// The "init-paths" job: chooses DataDir, creates its folders, sets the paths,
// loads the lists and writes the first activity lines.
void InitPaths();

// Empties every path (tests only).
void ResetDataPathsForTest();
