#include "response/quarantine_list.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

#include "app/activity_log.h"
#include "app/data_dir.h"
#include "app/text_file.h"
#include "app/wide.h"
#include "platform/files.h"
#include "response/quarantine_store.h"
#include "response/threat_manager.h"

namespace {
constexpr char kReasonKey[] = "reason=";
constexpr wchar_t kSidecarEnding[] = L".log";
constexpr std::size_t kSidecarEndingChars = 4;
// A sidecar holds one path of at most 32,767 characters: 256 KiB is plenty.
constexpr std::size_t kSidecarBytes = 256u << 10;
constexpr uint64_t kTicksPerSecond = 10000000;
constexpr int64_t kDaysFrom1601To1970 = 134774;

bool EndsWithSidecarEnding(const std::wstring& name) {
  return name.size() > kSidecarEndingChars &&
         name.compare(name.size() - kSidecarEndingChars, kSidecarEndingChars, kSidecarEnding) == 0;
}

// The sidecar's text; false when it is missing or cannot be read.
bool ReadSidecar(const std::wstring& stored_path, std::string& text) {
  bool cut = false;
  return ReadTextFilePrefix(stored_path + kSidecarEnding, kSidecarBytes, text, cut);
}

// Days since 1970-01-01 to a civil date (proleptic Gregorian).
void CivilFromDays(int64_t days, int& year, unsigned& month, unsigned& day) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const unsigned day_of_era = static_cast<unsigned>(days - era * 146097);
  const unsigned year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const unsigned day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const unsigned shifted_month = (5 * day_of_year + 2) / 153;
  day = day_of_year - (153 * shifted_month + 2) / 5 + 1;
  month = shifted_month < 10 ? shifted_month + 3 : shifted_month - 9;
  year = static_cast<int>(year_of_era + era * 400 + (month <= 2 ? 1 : 0));
}

bool NewerFirst(const QuarantineEntry& a, const QuarantineEntry& b) {
  if (a.isolated_time != b.isolated_time) return a.isolated_time > b.isolated_time;
  return a.name < b.name;
}
}  // namespace

std::wstring SidecarReason(std::string_view text) { return SidecarValue(text, kReasonKey); }

std::string UtcTimeText(uint64_t file_time) {
  const uint64_t seconds = file_time / kTicksPerSecond;
  const int64_t days = static_cast<int64_t>(seconds / 86400) - kDaysFrom1601To1970;
  const unsigned of_day = static_cast<unsigned>(seconds % 86400);
  int year = 0;
  unsigned month = 0, day = 0;
  CivilFromDays(days, year, month, day);
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u %02u:%02u UTC", year, month, day, of_day / 3600,
                of_day / 60 % 60);
  return text;
}

bool ListQuarantine(std::vector<QuarantineEntry>& entries) {
  entries.clear();
  if (QuarantineDir.empty()) return false;
  std::vector<platform::FolderEntry> items;
  const uint32_t error = platform::VisitFolder(QuarantineDir, [&items](const platform::FolderEntry& item) {
    // Nothing in the folder is ever followed: a link there is none of ours.
    if (!item.is_reparse_point) items.push_back(item);
    return true;
  });
  if (error != 0) return platform::IsNotFoundError(error);
  std::set<std::wstring> names;
  std::map<std::wstring, uint64_t> file_times;  // the write time of each file by name
  for (const auto& item : items) {
    names.insert(item.name);
    if (!item.is_directory) file_times[item.name] = item.last_write_time;
  }
  for (const auto& item : items) {
    // "x.exe.log" beside "x.exe" is its sidecar; a stored "notes.log" has "notes.log.log".
    if (EndsWithSidecarEnding(item.name) &&
        names.count(item.name.substr(0, item.name.size() - kSidecarEndingChars)) != 0) {
      continue;
    }
    QuarantineEntry entry;
    entry.name = item.name;
    entry.stored_path = QuarantineDir + L"\\" + item.name;
    entry.is_folder = item.is_directory;
    const auto sidecar = file_times.find(item.name + kSidecarEnding);
    std::string text;
    if (sidecar != file_times.end() && ReadSidecar(entry.stored_path, text)) {
      entry.original = SidecarOriginal(text);
      entry.reason = SidecarReason(text);
      // The sidecar is written new at the moment of isolation; the stored file keeps
      // the write time the original had.
      entry.isolated_time = sidecar->second;
    }
    entries.push_back(std::move(entry));
  }
  std::sort(entries.begin(), entries.end(), NewerFirst);
  return true;
}

bool CanRestore(const QuarantineEntry& entry) { return !entry.is_folder && !entry.original.empty(); }

bool RestoreFromQuarantine(const std::wstring& stored_path, std::wstring& restored_path) {
  // Read again at the moment of the restore: without an origin the store would put the
  // file into its own Restored folder, which is not where the user asked for it.
  std::string text;
  if (!ReadSidecar(stored_path, text) || SidecarOriginal(text).empty()) {
    AppendActivity(L"[QUARANTINE] Restore refused, origin unknown: " + stored_path);
    return false;
  }
  return RestoreAndTrust(stored_path, restored_path);
}

bool DeleteFromQuarantine(const std::wstring& stored_path) { return DeleteStoredFile(stored_path); }
