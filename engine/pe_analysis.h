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

// Entropy of the file's first MiB, read in 64 KiB chunks; 0.0 when unreadable or empty.
double MeasureFileEntropy(const std::wstring& path);

// True when the head of a PE file has a section that is both executable and
// writable and whose eight name bytes hold neither ".clr" nor ".text". Every offset
// is checked against the length of the head.
bool HasRwxSection(const unsigned char* bytes, std::size_t length);

// The PE and entropy analysis; never throws.
HeuristicResult AnalyzeFile(const std::wstring& path);

// True exactly when the platform's Authenticode check accepts the file.
bool HasValidSignature(const std::wstring& path);
