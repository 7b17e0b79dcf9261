#include "engine/pe_analysis.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string_view>

#include "app/activity_log.h"
#include "engine/file_pass.h"
#include "engine/path_classes.h"
#include "platform/files.h"
#include "platform/trust.h"

namespace {
constexpr std::size_t kEntropyChunkBytes = 65536;
constexpr std::size_t kMinimumPeBytes = 64;

uint16_t Read16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

uint32_t Read32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

bool NameHolds(const unsigned char* name, std::string_view part) {
  return std::string_view(reinterpret_cast<const char*>(name), 8).find(part) != std::string_view::npos;
}
}  // namespace

double EntropyOfCounts(const std::array<uint64_t, 256>& counts, uint64_t total) {
  if (total == 0) return 0.0;
  double entropy = 0.0;
  for (const uint64_t count : counts) {
    if (count == 0) continue;
    const double p = static_cast<double>(count) / static_cast<double>(total);
    entropy -= p * (std::log(p) / std::log(2.0));
  }
  return entropy;
}

double EntropyOfHead(std::string_view bytes) {
  std::array<uint64_t, 256> counts{};
  const std::string_view window = bytes.substr(0, static_cast<std::size_t>(kEntropyWindowBytes));
  for (const char c : window) ++counts[static_cast<unsigned char>(c)];
  return EntropyOfCounts(counts, window.size());
}

bool EntropyTally::Add(std::string_view chunk) {
  // Never count past the first MiB, whatever size the chunks come in.
  const std::size_t usable = static_cast<std::size_t>(std::min<uint64_t>(chunk.size(), kEntropyWindowBytes - total));
  for (std::size_t i = 0; i < usable; ++i) ++counts[static_cast<unsigned char>(chunk[i])];
  total += usable;
  return total < kEntropyWindowBytes;
}

double MeasureFileEntropy(const std::wstring& path) {
  EntropyTally tally;
  platform::ReadFileInChunks(path, kEntropyChunkBytes, [&](std::string_view chunk) { return tally.Add(chunk); });
  return tally.Entropy();
}

bool HasRwxSection(const unsigned char* bytes, std::size_t length) {
  if (length < kMinimumPeBytes || Read16(bytes) != 0x5A4D) return false;  // "MZ"
  const int32_t header = static_cast<int32_t>(Read32(bytes + 60));
  if (header < 0 || static_cast<uint64_t>(header) + 264 > length) return false;
  if (Read32(bytes + header) != 0x00004550) return false;  // "PE\0\0"
  const uint16_t sections = Read16(bytes + header + 6);
  const uint16_t optional_size = Read16(bytes + header + 20);
  const uint64_t table = static_cast<uint64_t>(header) + 24 + optional_size;
  if (table + 40ull * sections > length) return false;

  bool found = false;
  for (uint16_t i = 0; i < sections; ++i) {
    const unsigned char* entry = bytes + table + 40ull * i;
    const uint32_t characteristics = Read32(entry + 36);
    const bool executable = characteristics & 0x20000000u;
    const bool writable = characteristics & 0x80000000u;
    if (executable && writable && !NameHolds(entry, ".clr") && !NameHolds(entry, ".text")) found = true;
  }
  return found;
}

namespace {
HeuristicResult FreshAnalysis() {
  HeuristicResult record;
  record.detail = L"No malicious execution triggers found.";
  return record;
}

HeuristicResult Heavy() {
  HeuristicResult record = FreshAnalysis();
  record.reason = L"Skipped heavy file (>32MB)";
  return record;
}
}  // namespace

AnalysisStart PlanAnalysis(const std::wstring& path) {
  platform::FileInfo info;
  // The name and status tests of a complete file; its open test is the read itself.
  if (!IsCompleteFileName(path) || !QueryJudgedFileInfo(path, info) || info.is_directory || info.size == 0) {
    return AnalysisStart::Untouched;
  }
  // Case-sensitive on purpose: these two trees are trusted as the system writes them.
  if (Contains(path, L"C:\\Windows\\System32\\") || Contains(path, L"C:\\Program Files\\")) {
    return AnalysisStart::Untouched;
  }
  return info.size > kAnalysisSizeLimit ? AnalysisStart::Heavy : AnalysisStart::ReadBytes;
}

HeuristicResult AnalyzeBytes(double entropy, std::string_view head) {
  HeuristicResult record = FreshAnalysis();
  record.entropy = entropy;
  if (record.entropy > kVeryHighEntropy) {
    char figure[64];
    std::snprintf(figure, sizeof figure, "%f", record.entropy);
    record.suspicious = true;
    record.reason = L"Very High Entropy Payload (Packed/Encrypted Data)";
    record.detail =
        L"Behavior: High entropy stream (" + std::wstring(figure, figure + std::strlen(figure)) + L") detected.";
  }
  if (HasRwxSection(reinterpret_cast<const unsigned char*>(head.data()), head.size())) {
    record.suspicious = true;
    record.reason = L"Unusual PE Section contains RWX attributes";
  }
  return record;
}

HeuristicResult AnalysisOf(const std::wstring& path, AnalysisStart start, const FilePass& pass) {
  HeuristicResult record = FreshAnalysis();
  try {
    switch (start) {
      case AnalysisStart::Untouched:
        return record;
      case AnalysisStart::Heavy: {
        // Only a file that opens is complete; a heavy one is not read for this.
        const bool opens = pass.tried ? pass.open_error == 0 : platform::CanOpenForReading(path);
        return opens ? Heavy() : record;
      }
      case AnalysisStart::ReadBytes:
        if (!pass.Opened()) return record;
        if (pass.analysis_fault) throw std::runtime_error("analysis pass failed");
        return AnalyzeBytes(pass.entropy, pass.head);
    }
  } catch (...) {
    AppendActivity(L"[FAULT] Heuristic scan skipped: " + path);
    record.reason = L"Scan skipped after internal fault";
    record.flagged = false;
    record.suspicious = false;
  }
  return record;
}

HeuristicResult AnalyzeFile(const std::wstring& path) {
  AnalysisStart start = AnalysisStart::Untouched;
  FilePass pass;
  try {
    FilePassPlan plan;
    start = PlanAnalysis(path);
    plan.analysis = start == AnalysisStart::ReadBytes;
    pass = ReadFileForJudgement(path, plan);
  } catch (...) {
    pass.analysis_fault = true;
    pass.tried = true;
    start = AnalysisStart::ReadBytes;
  }
  return AnalysisOf(path, start, pass);
}

bool HasValidSignature(const std::wstring& path) { return !path.empty() && platform::VerifyFileSignature(path); }
