#include "app/scan_command.h"

#include <algorithm>
#include <cstdio>
#include <exception>

#include "app/data_dir.h"
#include "app/text_file.h"
#include "app/wide.h"
#include "engine/hash_lists.h"
#include "engine/path_classes.h"
#include "engine/scorer.h"
#include "platform/console.h"
#include "platform/files.h"

namespace {
constexpr wchar_t kUsage[] =
    L"Usage: KestruneScan [--data-dir FOLDER] PATH...\r\n"
    L"Scores every file in the given files and folders with the Kestrune AV engine and\r\n"
    L"prints one line per file: outcome, score, entropy, reason, path (TAB-separated).\r\n"
    L"The hash lists come from the data folder (default %ProgramData%\\KestruneAV).\r\n"
    L"Nothing is moved, deleted or recorded.\r\n"
    L"Exit code: 0 nothing to quarantine, 1 something to quarantine, 2 usage or read error.\r\n";

struct Tally {
  uint64_t files = 0;
  uint64_t by_outcome[4] = {};
  uint64_t unreadable = 0;
};

const wchar_t* OutcomeName(ScoreOutcome outcome) {
  switch (outcome) {
    case ScoreOutcome::Quarantine:
      return L"quarantine";
    case ScoreOutcome::Warning:
      return L"warning";
    case ScoreOutcome::Review:
      return L"review";
    default:
      return L"none";
  }
}

void Print(const std::wstring& text) { platform::WriteStandardOutput(text); }

void ReportUnreadable(const std::wstring& path, const std::wstring& why, Tally& tally) {
  ++tally.unreadable;
  Print(L"error\t-\t-\t" + why + L"\t" + path + L"\r\n");
}

void ScoreOne(const std::wstring& path, Tally& tally) {
  if (!platform::CanOpenForReading(path)) {
    ReportUnreadable(path, L"cannot be read", tally);
    return;
  }
  try {
    HeuristicResult record;
    const ScoreOutcome outcome = ScoreFileOutcome(path, record);
    char entropy[32];
    std::snprintf(entropy, sizeof entropy, "%.4f", record.entropy);
    ++tally.files;
    ++tally.by_outcome[static_cast<int>(outcome)];
    Print(std::wstring(OutcomeName(outcome)) + L"\t" + std::to_wstring(record.score) + L"\t" + WidenBytes(entropy) +
          L"\t" + record.reason + L"\t" + path + L"\r\n");
  } catch (const std::exception& e) {
    ReportUnreadable(path, L"scan failed: " + WidenBytes(e.what()), tally);
  }
}

void ScanPath(const std::wstring& path, Tally& tally) {
  platform::FileInfo info;
  if (!platform::QueryFileInfo(path, info)) {
    ReportUnreadable(path, L"not found", tally);
    return;
  }
  if (!info.is_directory) {
    ScoreOne(path, tally);
    return;
  }
  std::vector<platform::FolderEntry> entries;
  if (!platform::ListFolder(path, entries)) {
    ReportUnreadable(path, L"folder cannot be listed", tally);
    return;
  }
  std::sort(entries.begin(), entries.end(),
            [](const platform::FolderEntry& a, const platform::FolderEntry& b) { return a.name < b.name; });
  const std::wstring prefix = EndsWith(path, L"\\") ? path : path + L"\\";
  for (const auto& entry : entries) {
    if (entry.is_reparse_point) continue;  // links and junctions may loop back
    ScanPath(prefix + entry.name, tally);
  }
}

void LoadLists(const std::wstring& data_dir) {
  std::string text;
  ReadTextFile(data_dir + L"\\bad-hashes.txt", text);
  ReplaceBadHashes(ParseBadHashList(text));
  LoadSafeHashes(data_dir + L"\\safe-hashes.txt");
}
}  // namespace

int RunScanCommand(const std::vector<std::wstring>& args) {
  std::wstring data_dir = DefaultDataDir();
  std::vector<std::wstring> paths;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::wstring& arg = args[i];
    if (arg == L"--help" || arg == L"-h" || arg == L"/?") {
      Print(kUsage);
      return kScanCleanExit;
    }
    if (arg == L"--data-dir") {
      if (i + 1 >= args.size()) break;
      data_dir = platform::FullPathOf(args[++i]);
      continue;
    }
    if (arg.rfind(L"--", 0) == 0) {
      Print(L"Unknown option: " + arg + L"\r\n" + kUsage);
      return kScanErrorExit;
    }
    paths.push_back(arg);
  }
  if (paths.empty() || (!args.empty() && args.back() == L"--data-dir")) {
    Print(kUsage);
    return kScanErrorExit;
  }

  LoadLists(data_dir);
  Tally tally;
  for (const auto& path : paths) ScanPath(platform::FullPathOf(path), tally);

  Print(L"Scanned " + std::to_wstring(tally.files) + L" files: " +
        std::to_wstring(tally.by_outcome[static_cast<int>(ScoreOutcome::Quarantine)]) + L" quarantine, " +
        std::to_wstring(tally.by_outcome[static_cast<int>(ScoreOutcome::Warning)]) + L" warning, " +
        std::to_wstring(tally.by_outcome[static_cast<int>(ScoreOutcome::Review)]) + L" review, " +
        std::to_wstring(tally.by_outcome[static_cast<int>(ScoreOutcome::None)]) + L" none; " +
        std::to_wstring(tally.unreadable) + L" unreadable.\r\n");
  if (tally.by_outcome[static_cast<int>(ScoreOutcome::Quarantine)] > 0) return kScanThreatExit;
  return tally.unreadable > 0 ? kScanErrorExit : kScanCleanExit;
}
