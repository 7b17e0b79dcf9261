#include "engine/scan_index.h"

#include "app/data_dir.h"
#include "app/text_file.h"
#include "app/wide.h"
#include "platform/files.h"

std::mutex ScanIndexLock;
std::unordered_map<std::wstring, FileStamp> ScanIndex;

namespace {
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
}  // namespace

std::optional<uint64_t> ParseUnsignedDecimal(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i >= text.size() || text[i] < '0' || text[i] > '9') return std::nullopt;
  uint64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const uint64_t digit = static_cast<uint64_t>(text[i] - '0');
    if (value > (UINT64_MAX - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return negative ? 0 - value : value;  // a minus sign wraps, as the C conversion does
}

std::optional<std::pair<std::wstring, FileStamp>> ParseScanIndexLine(std::string_view line) {
  if (line.empty()) return std::nullopt;
  const std::size_t first = line.find('\t');
  if (first == std::string_view::npos) return std::nullopt;
  const std::size_t second = line.find('\t', first + 1);
  if (second == std::string_view::npos) return std::nullopt;
  const auto time = ParseUnsignedDecimal(line.substr(first + 1, second - first - 1));
  const auto size = ParseUnsignedDecimal(line.substr(second + 1));
  if (!time || !size) return std::nullopt;
  return std::make_pair(FromUtf8(line.substr(0, first)), FileStamp{*time, *size});
}

void LoadScanIndex() {
  if (ScanIndexPath.empty()) return;
  std::string text;
  bool cut = false;
  if (!ReadTextFilePrefix(ScanIndexPath, kScanIndexBytes, text, cut)) return;
  std::lock_guard<std::mutex> hold(ScanIndexLock);
  ScanIndex.clear();
  std::size_t start = 0;
  while (start < text.size() && ScanIndex.size() <= kScanIndexLimit) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    if (auto entry = ParseScanIndexLine(std::string_view(text).substr(start, end - start))) {
      ScanIndex[entry->first] = entry->second;
    }
    start = end + 1;
  }
}

void SaveScanIndex() {
  if (ScanIndexPath.empty()) return;
  std::lock_guard<std::mutex> hold(ScanIndexLock);
  std::string text;
  std::size_t written = 0;
  for (const auto& [path, stamp] : ScanIndex) {
    if (written++ > kScanIndexLimit) break;
    text += ToUtf8(path);
    text += '\t';
    text += std::to_string(stamp.last_write_time);
    text += '\t';
    text += std::to_string(stamp.size);
    text += '\n';
  }
  WriteTextFile(ScanIndexPath, text);
}
