#pragma once
// The scan index: the stamp of every scored file, so that unchanged files are
// skipped, kept on disk in scan-index.dat across runs.
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "engine/heuristic_result.h"

constexpr std::size_t kScanIndexLimit = 20000;
// The most of scan-index.dat that is read: 20,001 lines of long paths fit with room.
constexpr std::size_t kScanIndexBytes = 32u << 20;

// Guards ScanIndex; held for the whole of a load or a save.
extern std::mutex ScanIndexLock;
extern std::unordered_map<std::wstring, FileStamp> ScanIndex;

// An unsigned 64-bit decimal conversion as strtoull does it: leading white space,
// an optional sign, digits up to the first other character; nothing when no digit
// comes first or the value is out of range.
std::optional<uint64_t> ParseUnsignedDecimal(std::string_view text);

// One line of the file (line end removed) as path and stamp; nothing when malformed.
std::optional<std::pair<std::wstring, FileStamp>> ParseScanIndexLine(std::string_view line);

// Replaces the map with the file's entries; an unreadable file leaves it alone.
void LoadScanIndex();

// Writes the whole map to the file, replacing its contents.
void SaveScanIndex();
