#pragma once
// The data folder, the full path of every data file, and the first start-up step.
#include <atomic>
#include <string>
#include <string_view>

#include "platform/files.h"

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

// Who the data folder is for: administrators alone in an elevated run, the user too
// in a run that is not elevated. Set by "init-paths".
extern platform::FolderAudience DataFolderAudience;

// The data folder of a run for that audience: the machine's ProgramData known folder
// for administrators, the user's local application data otherwise (never taken from
// the environment), + "\KestruneAV"; C:\KestruneAV when the folder cannot be resolved.
std::wstring DataDirFor(platform::FolderAudience audience);

// The data folder of this process: elevated or not, as above.
std::wstring DefaultDataDir();

// Makes a folder inside the data folder again (the quarantine, Restored) with the data
// folder's audience; false when it is refused (a link, or another account's).
bool RemakeDataFolder(const std::wstring& folder);

// The "init-paths" job: chooses DataDir, creates its folders, sets the paths,
// loads the lists and writes the first activity lines.
void InitPaths();

// Empties every path (tests only).
void ResetDataPathsForTest();
