#include "app/scan_command.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

#include "app/data_dir.h"
#include "app/wide.h"
#include "engine/hash_lists.h"
#include "engine/path_classes.h"
#include "engine/scorer.h"
#include "platform/console.h"
#include "platform/files.h"

namespace {
constexpr wchar_t kUsage[] =
    L"Usage: KestruneScan [--data-dir FOLDER] [--jobs N] [--pause] PATH...\r\n"
    L"Scores every file in the given files and folders with the Kestrune AV engine and\r\n"
    L"prints one line per file: outcome, score, entropy, reason, path (TAB-separated).\r\n"
    L"The hash lists come from the data folder (default %ProgramData%\\KestruneAV).\r\n"
    L"--jobs N judges N files at a time (1 to 16; default: the number of processors,\r\n"
    L"at most 16); the lines come in the same order whatever N is.\r\n"
    L"--pause waits for a key at the end when the output is on a console window.\r\n"
    L"Nothing is moved, deleted or recorded.\r\n"
    L"Exit code: 0 nothing to quarantine, 1 something to quarantine, 2 usage or read error.\r\n";

constexpr int kMostJobs = 16;
// Files judged ahead of the one being printed, per job: enough to keep every job
// busy while a slow file holds up the printing, few enough to keep memory flat.
constexpr std::size_t kWindowPerJob = 8;

struct Tally {
  uint64_t files = 0;
  uint64_t by_outcome[4] = {};
  uint64_t unreadable = 0;
};

// One line of the report, for a file to judge or a path that could not be walked.
struct Report {
  std::wstring path;
  bool to_judge = false;
  bool done = false;
  bool unreadable = false;
  ScoreOutcome outcome = ScoreOutcome::None;
  std::wstring line;
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

Report Unreadable(const std::wstring& path, const std::wstring& why) {
  Report report;
  report.path = path;
  report.done = true;
  report.unreadable = true;
  report.line = L"error\t-\t-\t" + why + L"\t" + path + L"\r\n";
  return report;
}

void Judge(Report& report) {
  const std::wstring& path = report.path;
  try {
    HeuristicResult record;
    JudgedOpen opened;
    const ScoreOutcome outcome = ScoreFileOutcome(path, record, &opened);
    // Judging opened the file whenever it read a byte, and a read error there means
    // the outcome lacks what it needed (a listed file's hash, an executable's
    // headers); a judgement that read nothing has one open test tell. What the bytes
    // read before the error found still stands: a quarantine outcome is reported.
    const bool readable =
        opened.tried ? opened.error == 0 && (!opened.read_failed || outcome == ScoreOutcome::Quarantine)
                     : platform::CanOpenForReading(path);
    if (!readable) {
      report = Unreadable(path, L"cannot be read");
      return;
    }
    char entropy[32];
    std::snprintf(entropy, sizeof entropy, "%.4f", record.entropy);
    report.outcome = outcome;
    report.line = std::wstring(OutcomeName(outcome)) + L"\t" + std::to_wstring(record.score) + L"\t" +
                  WidenBytes(entropy) + L"\t" + record.reason + L"\t" + path + L"\r\n";
  } catch (const std::exception& e) {
    report = Unreadable(path, L"scan failed: " + WidenBytes(e.what()));
  }
  report.done = true;
}

void PrintReport(const Report& report, Tally& tally) {
  if (report.unreadable) {
    ++tally.unreadable;
  } else {
    ++tally.files;
    ++tally.by_outcome[static_cast<int>(report.outcome)];
  }
  Print(report.line);
}

// Hands every file and every failure under the path to emit, in the walk's order:
// sorted by name, links and junctions passed over (they may loop back).
void WalkFolder(const std::wstring& path, const std::function<void(Report)>& emit);

void EmitFile(const std::wstring& path, const std::function<void(Report)>& emit) {
  Report report;
  report.path = path;
  report.to_judge = true;
  emit(std::move(report));
}

// A path from the command line: its kind comes from the file system.
void Walk(const std::wstring& path, const std::function<void(Report)>& emit) {
  platform::FileInfo info;
  if (!platform::QueryFileInfo(path, info)) {
    emit(Unreadable(path, L"not found"));
  } else if (info.is_directory) {
    WalkFolder(path, emit);
  } else {
    EmitFile(path, emit);
  }
}

// Inside a folder the listing already tells files from folders. The folders still
// open are kept in a list of their own rather than on the thread's stack, so that a
// planted tree thousands of levels deep cannot overflow it.
void WalkFolder(const std::wstring& path, const std::function<void(Report)>& emit) {
  struct OpenFolder {
    std::wstring prefix;
    std::vector<platform::FolderEntry> entries;
    std::size_t next = 0;
  };
  std::vector<OpenFolder> open;
  const auto enter = [&](const std::wstring& folder) {
    OpenFolder listed;
    if (!platform::ListFolder(folder, listed.entries)) {
      emit(Unreadable(folder, L"folder cannot be listed"));
      return;
    }
    std::sort(listed.entries.begin(), listed.entries.end(),
              [](const platform::FolderEntry& a, const platform::FolderEntry& b) { return a.name < b.name; });
    listed.prefix = EndsWith(folder, L"\\") ? folder : folder + L"\\";
    open.push_back(std::move(listed));
  };
  enter(path);
  while (!open.empty()) {
    OpenFolder& top = open.back();
    if (top.next == top.entries.size()) {
      open.pop_back();
      continue;
    }
    const platform::FolderEntry& entry = top.entries[top.next++];
    if (entry.is_reparse_point) continue;
    const std::wstring child = top.prefix + entry.name;
    if (entry.is_directory) {
      enter(child);  // may grow the list: top is not used after this
    } else {
      EmitFile(child, emit);
    }
  }
}

// Several jobs judge the files of a window that the walk fills in order; the
// walking thread prints from the front of the window as the reports complete, so
// the output is the same as one job's. Waking a thread is costly, so a thread is
// woken only when it waits, and nothing is printed while the lock is held.
struct ParallelRun {
  std::mutex lock;
  std::condition_variable work_ready;   // a job waits for reports to judge
  std::condition_variable report_done;  // the walking thread waits for the front
  std::deque<Report> window;            // reports not printed yet, in walk order
  uint64_t first = 0;                   // walk position of window.front()
  uint64_t next_claim = 0;              // walk position of the next report a job may take
  int idle_jobs = 0;
  bool walker_waits = false;
  bool walk_done = false;
};

void JobLoop(ParallelRun& run) {
  std::unique_lock<std::mutex> hold(run.lock);
  for (;;) {
    while (run.next_claim < run.first + run.window.size() && !run.window[run.next_claim - run.first].to_judge) {
      ++run.next_claim;
    }
    if (run.next_claim < run.first + run.window.size()) {
      const uint64_t mine = run.next_claim++;
      Report report = run.window[mine - run.first];
      hold.unlock();
      Judge(report);
      hold.lock();
      run.window[mine - run.first] = std::move(report);
      if (run.walker_waits && mine == run.first) run.report_done.notify_one();
      continue;
    }
    if (run.walk_done) return;
    ++run.idle_jobs;
    run.work_ready.wait(hold);
    --run.idle_jobs;
  }
}

// Takes the finished reports off the front of the window; called with the lock held.
std::vector<Report> TakeFinished(ParallelRun& run) {
  std::vector<Report> finished;
  while (!run.window.empty() && (run.window.front().done || !run.window.front().to_judge)) {
    finished.push_back(std::move(run.window.front()));
    run.window.pop_front();
    ++run.first;
  }
  return finished;
}

void PrintAll(const std::vector<Report>& reports, Tally& tally) {
  for (const auto& report : reports) PrintReport(report, tally);
}

// Waits until the front of the window is finished; called with the lock held.
void WaitForFront(ParallelRun& run, std::unique_lock<std::mutex>& hold) {
  run.walker_waits = true;
  run.report_done.wait(hold, [&] { return run.window.empty() || run.window.front().done; });
  run.walker_waits = false;
}

void ScanInParallel(const std::vector<std::wstring>& paths, int jobs, Tally& tally) {
  ParallelRun run;
  std::vector<std::thread> workers;
  for (int i = 0; i < jobs; ++i) workers.emplace_back([&run] { JobLoop(run); });
  const std::size_t window_limit = kWindowPerJob * static_cast<std::size_t>(jobs);
  const auto emit = [&](Report report) {
    std::unique_lock<std::mutex> hold(run.lock);
    std::vector<Report> finished = TakeFinished(run);
    while (run.window.size() >= window_limit) {
      hold.unlock();
      PrintAll(finished, tally);
      hold.lock();
      WaitForFront(run, hold);
      finished = TakeFinished(run);
    }
    const bool wake = report.to_judge && run.idle_jobs > 0;
    run.window.push_back(std::move(report));
    if (wake) run.work_ready.notify_one();
    hold.unlock();
    PrintAll(finished, tally);
  };
  for (const auto& path : paths) Walk(platform::FullPathOf(path), emit);
  std::unique_lock<std::mutex> hold(run.lock);
  run.walk_done = true;
  run.work_ready.notify_all();
  for (;;) {
    std::vector<Report> finished = TakeFinished(run);
    const bool empty = run.window.empty();
    hold.unlock();
    PrintAll(finished, tally);
    hold.lock();
    if (empty) break;
    WaitForFront(run, hold);
  }
  hold.unlock();
  for (auto& worker : workers) worker.join();
}

void ScanInOrder(const std::vector<std::wstring>& paths, Tally& tally) {
  const auto emit = [&](Report report) {
    if (report.to_judge) Judge(report);
    PrintReport(report, tally);
  };
  for (const auto& path : paths) Walk(platform::FullPathOf(path), emit);
}

int DefaultJobs() {
  const unsigned processors = std::thread::hardware_concurrency();
  return static_cast<int>(std::clamp<unsigned>(processors, 1, kMostJobs));
}

// A whole decimal number from 1 to 16; 0 for anything else.
int ParseJobs(const std::wstring& text) {
  if (text.empty() || text.size() > 2) return 0;
  int value = 0;
  for (const wchar_t c : text) {
    if (c < L'0' || c > L'9') return 0;
    value = value * 10 + (c - L'0');
  }
  return value >= 1 && value <= kMostJobs ? value : 0;
}

// Loads both lists; a list that cannot be read to its end (what was read before the
// error is used) is an error line, since a listed file could go unnoticed.
void LoadLists(const std::wstring& data_dir, Tally& tally) {
  const std::wstring bad_path = data_dir + L"\\bad-hashes.txt";
  const HashListText bad = ReadHashList(bad_path, kBadHashListBytes);
  ReplaceBadHashes(ParseBadHashList(bad.text));
  const std::wstring safe_path = data_dir + L"\\safe-hashes.txt";
  const bool safe_whole = LoadSafeHashes(safe_path);
  for (const auto& [path, whole] : {std::pair{bad_path, bad.whole}, std::pair{safe_path, safe_whole}}) {
    if (!whole) PrintReport(Unreadable(path, L"cannot be read"), tally);
  }
}

int ParseAndScan(const std::vector<std::wstring>& args) {
  std::wstring data_dir = DefaultDataDir();
  std::vector<std::wstring> paths;
  int jobs = DefaultJobs();
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
    if (arg == L"--jobs") {
      jobs = i + 1 < args.size() ? ParseJobs(args[++i]) : 0;
      if (jobs == 0) {
        Print(L"--jobs needs a number from 1 to " + std::to_wstring(kMostJobs) + L"\r\n" + kUsage);
        return kScanErrorExit;
      }
      continue;
    }
    if (arg == L"--pause") continue;  // acted on after the report
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

  Tally tally;
  LoadLists(data_dir, tally);
  if (jobs > 1) {
    ScanInParallel(paths, jobs, tally);
  } else {
    ScanInOrder(paths, tally);
  }

  Print(L"Scanned " + std::to_wstring(tally.files) + L" files: " +
        std::to_wstring(tally.by_outcome[static_cast<int>(ScoreOutcome::Quarantine)]) + L" quarantine, " +
        std::to_wstring(tally.by_outcome[static_cast<int>(ScoreOutcome::Warning)]) + L" warning, " +
        std::to_wstring(tally.by_outcome[static_cast<int>(ScoreOutcome::Review)]) + L" review, " +
        std::to_wstring(tally.by_outcome[static_cast<int>(ScoreOutcome::None)]) + L" none; " +
        std::to_wstring(tally.unreadable) + L" unreadable.\r\n");
  if (tally.by_outcome[static_cast<int>(ScoreOutcome::Quarantine)] > 0) return kScanThreatExit;
  return tally.unreadable > 0 ? kScanErrorExit : kScanCleanExit;
}
}  // namespace

int RunScanCommand(const std::vector<std::wstring>& args) {
  const int exit_code = ParseAndScan(args);
  // Explorer's "Scan with Kestrune AV" gives the scanner a console window of its
  // own, which would close with the report. Output to a file or a pipe has nobody
  // to press a key, so there it never waits.
  if (std::find(args.begin(), args.end(), L"--pause") != args.end() && platform::IsInteractiveConsole()) {
    Print(L"Press any key to close this window.");
    platform::WaitForKey();
  }
  return exit_code;
}
