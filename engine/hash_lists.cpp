#include "engine/hash_lists.h"

#include <stdexcept>
#include <unordered_map>

#include "app/activity_log.h"
#include "app/data_dir.h"
#include "app/text_file.h"
#include "app/wide.h"
#include "engine/file_pass.h"
#include "engine/path_classes.h"
#include "platform/files.h"

std::mutex SafeHashMutex;

namespace {
constexpr std::size_t kHashDigits = 64;
constexpr char kMarkerText[] = "kestrune.engine=heuristic\nversion=2.0\n";
constexpr char kBadListHeader[] = "# sha256 of confirmed bad files, one per line\n";

// The bad-hash set is replaced whole by a reload; readers take a reference under
// this lock and look up without it.
std::mutex g_bad_lock;
std::shared_ptr<const std::unordered_set<std::wstring>> g_bad =
    std::make_shared<const std::unordered_set<std::wstring>>();

std::unordered_set<std::wstring> g_safe_wide;                   // under SafeHashMutex
std::unordered_map<std::string, bool> g_safe_narrow;            // under SafeHashMutex

std::shared_ptr<const std::unordered_set<std::wstring>> CurrentBadHashes() {
  std::lock_guard<std::mutex> hold(g_bad_lock);
  return g_bad;
}

// Splits 8-bit text into lines at LF (CR LF already folded by the text reader).
template <typename Visit>
void ForEachLine(std::string_view text, Visit visit) {
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    visit(text.substr(start, end - start));
    start = end + 1;
  }
}

void CreateWhenMissing(const std::wstring& path, std::string_view text) {
  if (!platform::PathExists(path)) WriteTextFile(path, text);
}
}  // namespace

std::wstring HexOf(std::string_view bytes) {
  static const wchar_t kDigits[] = L"0123456789abcdef";
  std::wstring hex;
  hex.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    hex.push_back(kDigits[c >> 4]);
    hex.push_back(kDigits[c & 0x0F]);
  }
  return hex;
}

std::wstring HashFromPass(const std::wstring& path, const FilePass& pass) {
  if (pass.hash_fault) AppendActivity(L"[FAULT] SHA-256 skipped: " + path);
  return pass.hash_fault ? L"" : pass.sha256;
}

bool IsCopyOrGone(const std::wstring& path, const std::wstring& hash) {
  try {
    if (!platform::PathExists(path)) return true;
  } catch (const std::exception&) {
    return false;
  }
  return !hash.empty() && ComputeFileSha256(path) == hash;
}

std::wstring ComputeFileSha256(const std::wstring& path) {
  FilePassPlan plan;
  plan.hash = true;
  return HashFromPass(path, ReadFileForJudgement(path, plan));
}

std::unordered_set<std::wstring> ParseBadHashList(std::string_view text) {
  std::unordered_set<std::wstring> hashes;
  ForEachLine(text, [&](std::string_view line) {
    if (line.size() == kHashDigits && line[0] != '#') hashes.insert(WidenBytes(ToLowerAscii(line)));
  });
  return hashes;
}

HashListText ReadHashList(const std::wstring& path, std::size_t max_bytes) {
  HashListText list;
  std::string bytes;
  std::string buffer(65536, '\0');
  bool read_failed = false;
  // One byte past the bound tells a list that ends there from a longer one.
  const uint32_t open_error = platform::ReadFileThrough(
      path, buffer,
      [&](std::string_view chunk) {
        bytes.append(chunk.substr(0, max_bytes + 1 - bytes.size()));
        return bytes.size() <= max_bytes;
      },
      read_failed);
  if (open_error != 0) {
    list.missing = platform::IsNotFoundError(open_error);
    list.whole = list.missing;
    return list;
  }
  std::size_t keep = bytes.size();
  if (bytes.size() > max_bytes) {
    list.cut = true;
    keep = max_bytes;
  } else if (read_failed) {
    list.whole = false;
  }
  // A line cut by the bound or by the error is no entry: only whole lines stay.
  if (list.cut || !list.whole) {
    const std::size_t last_line_end = keep == 0 ? std::string::npos : bytes.rfind('\n', keep - 1);
    keep = last_line_end == std::string::npos ? 0 : last_line_end + 1;
  }
  bytes.resize(keep);
  list.text = FromCrLf(bytes);
  return list;
}

std::wstring BadHashesPath() { return DataDir.empty() ? L"bad-hashes.txt" : DataDir + L"\\bad-hashes.txt"; }

void LoadBadHashes() {
  // The marker is the integrity routine's business; a marker that cannot be written
  // must not cost the scan its bad-hash list.
  try {
    if (!EngineMarkerPath.empty()) CreateWhenMissing(EngineMarkerPath, kMarkerText);
  } catch (...) {
  }
  try {
    const std::wstring list_path = BadHashesPath();
    CreateWhenMissing(list_path, kBadListHeader);
    const HashListText list = ReadHashList(list_path, kBadHashListBytes);
    std::unordered_set<std::wstring> hashes = ParseBadHashList(list.text);
    if (!list.whole) {
      // A list that breaks off (a read error, another program's lock) must not empty
      // the set: a reload keeps what it held, and the lines read before the error count.
      AppendActivity(L"[FAULT] Hash list skipped. Scan continues.");
      const auto held = CurrentBadHashes();
      hashes.insert(held->begin(), held->end());
    }
    ReplaceBadHashes(std::move(hashes));
    if (list.cut) AppendActivity(L"[ENGINE] Bad-hash list is over 16 MiB; only its first part is used.");
    AppendActivity(L"[ENGINE] Heuristic scan plus " + std::to_wstring(BadHashCount()) +
                   L" local bad hashes. No cloud lookup, so a dead network cannot stall a scan.");
  } catch (...) {
    AppendActivity(L"[FAULT] Hash list skipped. Scan continues.");
  }
}

void ReplaceBadHashes(std::unordered_set<std::wstring> hashes) {
  auto replacement = std::make_shared<const std::unordered_set<std::wstring>>(std::move(hashes));
  std::lock_guard<std::mutex> hold(g_bad_lock);
  g_bad = std::move(replacement);
}

bool IsBadHash(const std::wstring& hash) { return !hash.empty() && CurrentBadHashes()->count(hash) > 0; }

std::size_t BadHashCount() { return CurrentBadHashes()->size(); }

bool AnySafeHashes() {
  std::lock_guard<std::mutex> hold(SafeHashMutex);
  return !g_safe_wide.empty() || !g_safe_narrow.empty();
}

bool LoadSafeHashes(const std::wstring& path) {
  if (path.empty()) return true;
  const HashListText list = ReadHashList(path, kSafeHashListBytes);
  if (!list.whole) AppendActivity(L"[FAULT] Hash list skipped. Scan continues.");
  std::lock_guard<std::mutex> hold(SafeHashMutex);
  ForEachLine(list.text, [&](std::string_view line) {
    if (line.empty()) return;
    g_safe_wide.insert(WidenBytes(line));
    g_safe_narrow[std::string(line)] = true;
  });
  return list.whole;
}

void AddSafeHash(const std::wstring& hash) {
  if (hash.empty()) return;
  std::lock_guard<std::mutex> hold(SafeHashMutex);
  if (!g_safe_wide.insert(hash).second) return;
  const std::string narrow = NarrowLowBytes(hash);
  g_safe_narrow[narrow] = true;
  if (!SafeHashesPath.empty()) platform::AppendFileBytes(SafeHashesPath, ToCrLf(narrow + "\n"));
}

bool IsSafeHash(const std::wstring& hash) {
  if (hash.empty()) return false;
  std::lock_guard<std::mutex> hold(SafeHashMutex);
  return g_safe_wide.count(hash) > 0;
}

bool IsSafeHashNarrow(const std::string& hash8) {
  std::lock_guard<std::mutex> hold(SafeHashMutex);
  return g_safe_narrow.count(hash8) > 0;
}

void ResetHashListsForTest() {
  ReplaceBadHashes({});
  std::lock_guard<std::mutex> hold(SafeHashMutex);
  g_safe_wide.clear();
  g_safe_narrow.clear();
}
