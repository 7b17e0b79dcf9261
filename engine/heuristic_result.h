#pragma once
// The engine's records: the judgement of one file, its trust class and its stamp.
#include <cstdint>
#include <string>

struct HeuristicResult {
  bool flagged = false;     // treat as malicious
  bool suspicious = false;  // worth a warning or review
  int32_t score = 0;        // 0 to 100 in a verdict, 0 to 10 after the scorer
  double entropy = 0.0;     // bits per byte, 0.0 = not measured
  std::wstring reason = L"Clean File";
  std::wstring detail = L"Normal behavior observed.";
};

struct TrustClass {
  bool highRisk = false;
  bool needsReview = false;
  int32_t trustScore = 0;
  std::wstring label = L"Clean file/process";
};

// Last write time (100 ns file-time ticks) and size of one file; 0 where unreadable.
struct FileStamp {
  uint64_t last_write_time = 0;
  uint64_t size = 0;
  bool operator==(const FileStamp&) const = default;
};
