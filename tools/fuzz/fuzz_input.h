#pragma once
// What every fuzz target shares: the input as bytes and as wide text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

inline std::string_view Bytes(const uint8_t* data, std::size_t size) {
  return std::string_view(reinterpret_cast<const char*>(data), size);
}

// Pairs of bytes as UTF-16 code units, as Windows hands over command lines.
inline std::wstring WideText(const uint8_t* data, std::size_t size) {
  std::wstring text;
  for (std::size_t i = 0; i + 1 < size; i += 2) text.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
  return text;
}
