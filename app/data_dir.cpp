#include "app/data_dir.h"

#include "app/activity_log.h"
#include "app/guarded_step.h"
#include "app/os_profile.h"
#include "app/text_file.h"
#include "app/wide.h"
#include "engine/hash_lists.h"
#include "engine/scan_index.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "upkeep/integrity.h"
#include "upkeep/self_check.h"

std::wstring DataDir;
std::wstring QuarantineDir;
std::wstring SnapshotsDir;
std::wstring EngineMarkerPath;
std::wstring EngineMarkerBackupPath;
std::wstring AdminPreferencePath;
std::wstring TermsPath;
std::wstring SafeHashesPath;
std::wstring ScanIndexPath;
std::wstring TelemetryPath;
std::atomic<bool> TermsPending{true};

namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }
}  // namespace

bool TermsAcceptedIn(std::string_view text) {
  std::size_t start = 0;
  while (start < text.size() && IsBlank(text[start])) ++start;
  std::size_t end = start;
  while (end < text.size() && !IsBlank(text[end])) ++end;
  return text.substr(start, end - start) == "yes";
}

std::wstring DefaultDataDir() {
  std::wstring program_data;
  return platform::ReadEnvironmentVariable(L"ProgramData", program_data) ? program_data + L"\\KestruneAV"
                                                                         : L"C:\\KestruneAV";
}

namespace {
// Each list and reference loads on its own: a fault in one is reported and the
// others, and the paths after it, are still set up.
void LoadingStep(void (*load)()) { RunGuarded(L"init-paths", load); }

// A link at the data folder or at one of its sub-folders would carry every file this
// program writes, elevated or not, to a place of the planter's choosing: such a folder
// is refused, and its path stays empty, which turns off what would live there.
bool AcceptDataFolder(const std::wstring& folder) {
  switch (platform::MakeGuardedFolder(folder)) {
    case platform::GuardedFolder::IsLink:
      AppendActivity(L"[SECURITY] Folder refused, it is a link (junction or symbolic link): " + folder);
      return false;
    case platform::GuardedFolder::NotGuarded:
      AppendActivity(L"[SECURITY] Other accounts may still write to this folder (its access list could not be "
                     L"restricted): " + folder);
      return true;
    case platform::GuardedFolder::Ready:
    case platform::GuardedFolder::Failed:  // writes into it simply fail, as they always did
      break;
  }
  return true;
}

void SetDataFilePaths() {
  EngineMarkerPath = DataDir + L"\\engine.marker";
  EngineMarkerBackupPath = DataDir + L"\\engine.marker.bak";
  AdminPreferencePath = DataDir + L"\\admin_preference.txt";
  TermsPath = DataDir + L"\\terms_accepted.txt";
  SafeHashesPath = DataDir + L"\\safe-hashes.txt";
  ScanIndexPath = DataDir + L"\\scan-index.dat";
  TelemetryPath = DataDir + L"\\telemetry.txt";
}
}  // namespace

void InitPaths() {
  DetectOsProfile();

  const std::wstring data_dir = DefaultDataDir();
  if (AcceptDataFolder(data_dir)) {
    DataDir = data_dir;
    if (AcceptDataFolder(DataDir + L"\\Snapshots")) SnapshotsDir = DataDir + L"\\Snapshots";
    if (AcceptDataFolder(DataDir + L"\\Quarantine")) QuarantineDir = DataDir + L"\\Quarantine";
    SetDataFilePaths();
    LoadingStep([] { LoadSafeHashes(SafeHashesPath); });
    LoadingStep(LoadScanIndex);
    LoadingStep(TakeExecutableReference);
    LoadingStep(LoadBadHashes);
    LoadingStep(RefreshMarkerBackup);
  } else {
    // Nothing is read from or written to the refused place, nor to the working folder.
    AppendActivity(L"[SECURITY] Running without a data folder: nothing is quarantined, snapshotted or kept "
                   L"until the link is removed and the program restarted.");
    LoadingStep(TakeExecutableReference);
  }

  AppendActivity(L"[SYSTEM] Detection core online. Quarantine=" + QuarantineDir);
  if (OsProfile.OsProfileText[0] != '\0') {
    AppendActivity(L"[SYSTEM] OS profile: " + WidenBytes(OsProfile.OsProfileText));
  }

  std::string terms;
  bool cut = false;  // only the first word counts
  TermsPending.store(!(ReadTextFilePrefix(TermsPath, kSmallSettingBytes, terms, cut) && TermsAcceptedIn(terms)));
}

void ResetDataPathsForTest() {
  for (std::wstring* path : {&DataDir, &QuarantineDir, &SnapshotsDir, &EngineMarkerPath,
                             &EngineMarkerBackupPath, &AdminPreferencePath, &TermsPath,
                             &SafeHashesPath, &ScanIndexPath, &TelemetryPath}) {
    path->clear();
  }
  TermsPending.store(true);
}
