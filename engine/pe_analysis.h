#pragma once
// The bytes of one file: entropy of its first mebibyte, writable and executable
// sections of a Windows executable, and its digital signature.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/heuristic_result.h"

constexpr uint64_t kEntropyWindowBytes = 1048576;     // first MiB
constexpr uint64_t kAnalysisSizeLimit = 33554432;     // 32 MiB, analysed when equal
constexpr std::size_t kHeaderReadBytes = 2097152;     // 2 MiB read for the header walk
constexpr double kVeryHighEntropy = 7.92;
constexpr double kElevatedEntropy = 7.5;

// Shannon entropy in bits per byte of a table of byte counts; 0.0 for no bytes.
double EntropyOfCounts(const std::array<uint64_t, 256>& counts, uint64_t total);

// Entropy of the first MiB of bytes already in memory; 0.0 for none.
double EntropyOfHead(std::string_view bytes);

// Byte counts of the first MiB of a file handed over in chunks of any size.
struct EntropyTally {
  std::array<uint64_t, 256> counts{};
  uint64_t total = 0;
  // Counts what of the chunk still lies in the first MiB; false once that is full.
  bool Add(std::string_view chunk);
  double Entropy() const { return EntropyOfCounts(counts, total); }
};

// Entropy of the file's first MiB, read in 64 KiB chunks; 0.0 when unreadable or empty.
double MeasureFileEntropy(const std::wstring& path);

// True when the head of a PE file has a section that is both executable and
// writable and whose eight name bytes hold neither ".clr" nor ".text". Every offset
// is checked against the length of the head.
bool HasRwxSection(const unsigned char* bytes, std::size_t length);

// What the analysis decides from the path and the file system's word on the file,
// before a byte is read: leave the record as it starts (not a complete file, or one
// of the two trusted trees), call it heavy (over 32 MiB, once it proves openable),
// or read its bytes.
enum class AnalysisStart { Untouched, Heavy, ReadBytes };
AnalysisStart PlanAnalysis(const std::wstring& path);

// The analysis of bytes already read: the entropy of the first MiB, and the head
// (the first 2 MiB, or what of them could be read); a section table that lies
// beyond the head is not found.
HeuristicResult AnalyzeBytes(double entropy, std::string_view head);

struct FilePass;
// The analysis from its plan and a pass that read what the plan asked for (a pass
// not tried is replaced by an open test where the result depends on it). Faults are
// caught and reported here as for AnalyzeFile.
HeuristicResult AnalysisOf(const std::wstring& path, AnalysisStart start, const FilePass& pass);

// The PE and entropy analysis; never throws.
HeuristicResult AnalyzeFile(const std::wstring& path);

// True exactly when the platform's Authenticode check accepts the file.
bool HasValidSignature(const std::wstring& path);
