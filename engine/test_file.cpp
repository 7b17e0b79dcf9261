#include "engine/test_file.h"

#include <algorithm>

const wchar_t* const kTestFileReason = L"Test file score=10 (EICAR anti-malware test file, harmless by design)";

namespace {
constexpr std::size_t kLongestTestFile = 128;

bool IsPadding(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\x1a'; }
}  // namespace

std::string AntiMalwareTestString() {
  std::string text = "X5O!P%@AP[4\\PZX54(P^)7CC)7}$";
  text += "EICAR";
  text += "-STANDARD-ANTIVIRUS";
  text += "-TEST-FILE!$H+H*";
  return text;
}

bool IsAntiMalwareTestFile(std::string_view whole_file) {
  if (whole_file.size() > kLongestTestFile) return false;
  const std::string test = AntiMalwareTestString();
  if (whole_file.substr(0, test.size()) != test) return false;
  const std::string_view rest = whole_file.substr(test.size());
  return std::all_of(rest.begin(), rest.end(), IsPadding);
}
