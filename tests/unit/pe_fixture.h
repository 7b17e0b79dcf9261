#pragma once
// Builds small Windows executables in memory, with the fault a test needs.
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

struct PeSection {
  std::string name;  // up to 8 bytes, zero-padded
  uint32_t characteristics;
};

constexpr uint32_t kExecute = 0x20000000;
constexpr uint32_t kRead = 0x40000000;
constexpr uint32_t kWrite = 0x80000000;

inline void Put16(std::string& bytes, std::size_t at, uint16_t v) {
  bytes[at] = static_cast<char>(v & 0xFF);
  bytes[at + 1] = static_cast<char>(v >> 8);
}

inline void Put32(std::string& bytes, std::size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// "MZ", the header offset at byte 60, "PE\0\0", the section count and optional
// header size, and one 40-byte entry per section; padded to total_size bytes.
inline std::string BuildPe(const std::vector<PeSection>& sections, std::size_t total_size = 1024,
                           uint32_t header_offset = 0x80, uint16_t optional_size = 0xF0) {
  std::string bytes(total_size, '\0');
  bytes[0] = 'M';
  bytes[1] = 'Z';
  Put32(bytes, 60, header_offset);
  // Whatever fits is written, so that a fixture fails only the check it aims at.
  if (static_cast<uint64_t>(header_offset) + 24 <= total_size) {
    std::memcpy(&bytes[header_offset], "PE\0\0", 4);
    Put16(bytes, header_offset + 6, static_cast<uint16_t>(sections.size()));
    Put16(bytes, header_offset + 20, optional_size);
    std::size_t entry = header_offset + 24 + optional_size;
    for (const auto& section : sections) {
      if (entry + 40 > total_size) break;
      std::memcpy(&bytes[entry], section.name.data(), std::min<std::size_t>(8, section.name.size()));
      Put32(bytes, entry + 36, section.characteristics);
      entry += 40;
    }
  }
  return bytes;
}

// Bytes that look random (a fixed seed, so every run sees the same file).
inline std::string RandomBytes(std::size_t count, uint32_t seed = 7) {
  std::mt19937 generator(seed);
  std::string bytes(count, '\0');
  for (char& c : bytes) c = static_cast<char>(generator() & 0xFF);
  return bytes;
}
