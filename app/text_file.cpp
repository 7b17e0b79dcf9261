#include "app/text_file.h"

#include "platform/files.h"

std::string ToCrLf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') out.push_back('\r');
    out.push_back(c);
  }
  return out;
}

std::string FromCrLf(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out.push_back(text[i]);
  }
  return out;
}

bool ReadTextFile(const std::wstring& path, std::string& text) {
  std::string bytes;
  if (!platform::ReadFileBytes(path, bytes)) return false;
  text = FromCrLf(bytes);
  return true;
}

bool ReadTextFilePrefix(const std::wstring& path, std::size_t max_bytes, std::string& text, bool& cut) {
  std::string bytes;
  cut = false;
  // One byte past the bound tells a file that ends there from a longer one.
  if (!platform::ReadFileInChunks(path, 65536, [&](std::string_view chunk) {
        bytes.append(chunk.substr(0, max_bytes + 1 - bytes.size()));
        return bytes.size() <= max_bytes;
      })) {
    return false;
  }
  if (bytes.size() > max_bytes) {
    cut = true;
    const std::size_t last_line_end = bytes.rfind('\n', max_bytes - 1);
    bytes.resize(last_line_end == std::string::npos || max_bytes == 0 ? 0 : last_line_end + 1);
  }
  text = FromCrLf(bytes);
  return true;
}

bool WriteTextFile(const std::wstring& path, std::string_view text) {
  return platform::WriteFileBytes(path, ToCrLf(text));
}
