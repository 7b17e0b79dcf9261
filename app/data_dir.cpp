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
#include "platform/process_setup.h"
#include "platform/shell_folders.h"
#include "platform/verified_files.h"
#include "response/snapshots.h"
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
platform::FolderAudience DataFolderAudience = platform::FolderAudience::AdministratorsAndUser;

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

std::wstring DataDirFor(platform::FolderAudience audience) {
  const auto which = audience == platform::FolderAudience::AdministratorsOnly ? platform::KnownFolder::ProgramData
                                                                             : platform::KnownFolder::LocalAppData;
  std::wstring base;
  return platform::KnownFolderPath(which, base) ? base + L"\\KestruneAV" : L"C:\\KestruneAV";
}

namespace {
platform::FolderAudience AudienceOfThisRun() {
  return platform::IsAdministratorsMember() ? platform::FolderAudience::AdministratorsOnly
                                            : platform::FolderAudience::AdministratorsAndUser;
}
}  // namespace

std::wstring DefaultDataDir() { return DataDirFor(AudienceOfThisRun()); }

namespace {
// Each list and reference loads on its own: a fault in one is reported and the
// others, and the paths after it, are still set up.
void LoadingStep(void (*load)()) { RunGuarded(L"init-paths", load); }

// A link at the data folder or at one of its sub-folders would carry every file this
// program writes, elevated or not, to a place of the planter's choosing: such a folder
// is refused, and its path stays empty, which turns off what would live there.
bool AcceptDataFolder(const std::wstring& folder) {
  std::wstring moved_to;
  switch (platform::MakeGuardedFolder(folder, DataFolderAudience, &moved_to)) {
    case platform::GuardedFolder::IsLink:
      AppendActivity(L"[SECURITY] Folder refused, it is a link (junction or symbolic link): " + folder);
      return false;
    case platform::GuardedFolder::Untrusted:
      AppendActivity(L"[SECURITY] Folder refused, another account made it and it could not be moved aside: " +
                     folder);
      return false;
    case platform::GuardedFolder::MovedAside:
      // What another account put there (lists, index, sidecars) is never read.
      AppendActivity(L"[SECURITY] Folder made by another account moved aside, nothing in it is used: " + folder +
                     L" -> " + moved_to);
      return true;
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

// An elevated run also honours the terms accepted in the user's own run, read without
// following a link: it only spares the user the same page twice.
bool TermsAcceptedByTheUser() {
  if (DataFolderAudience != platform::FolderAudience::AdministratorsOnly) return false;
  std::string terms;
  const std::wstring user_terms = DataDirFor(platform::FolderAudience::AdministratorsAndUser) + L"\\terms_accepted.txt";
  return platform::ReadVerified(user_terms, kSmallSettingBytes, terms) == platform::Verified::Done &&
         TermsAcceptedIn(terms);
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

  DataFolderAudience = AudienceOfThisRun();
  const std::wstring data_dir = DataDirFor(DataFolderAudience);
  if (AcceptDataFolder(data_dir)) {
    DataDir = data_dir;
    if (AcceptDataFolder(DataDir + L"\\Snapshots")) SnapshotsDir = DataDir + L"\\Snapshots";
    if (AcceptDataFolder(DataDir + L"\\Quarantine")) QuarantineDir = DataDir + L"\\Quarantine";
    SetDataFilePaths();
    LoadingStep(DropOldSnapshotNames);
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
  const bool accepted = ReadTextFilePrefix(TermsPath, kSmallSettingBytes, terms, cut) && TermsAcceptedIn(terms);
  TermsPending.store(!accepted && !TermsAcceptedByTheUser());
}

bool RemakeDataFolder(const std::wstring& folder) {
  const platform::GuardedFolder state = platform::MakeGuardedFolder(folder, DataFolderAudience);
  return state != platform::GuardedFolder::IsLink && state != platform::GuardedFolder::Untrusted;
}

void ResetDataPathsForTest() {
  for (std::wstring* path : {&DataDir, &QuarantineDir, &SnapshotsDir, &EngineMarkerPath,
                             &EngineMarkerBackupPath, &AdminPreferencePath, &TermsPath,
                             &SafeHashesPath, &ScanIndexPath, &TelemetryPath}) {
    path->clear();
  }
  TermsPending.store(true);
  DataFolderAudience = platform::FolderAudience::AdministratorsAndUser;
}
