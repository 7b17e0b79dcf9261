#include "platform/environment.h"

#include "platform/standin/machine.h"

namespace standin {

void SetTempFolder(const std::wstring& folder) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().temp_folder = folder;
}

}  // namespace standin

namespace platform {

bool ReadEnvironmentVariable(const wchar_t* name, std::wstring& value) {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  const auto& environment = standin::TheMachine().environment;
  const auto found = environment.find(name);
  if (found == environment.end() || found->second.empty()) return false;
  value = found->second;
  return true;
}

bool TempFolder(std::wstring& folder) {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  const std::wstring& temp = standin::TheMachine().temp_folder;
  if (temp.empty()) return false;
  folder = temp;
  return true;
}

std::wstring ExpandEnvironmentText(const std::wstring& text) {
  std::wstring out;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t open = text.find(L'%', at);
    const std::size_t close = open == std::wstring::npos ? std::wstring::npos : text.find(L'%', open + 1);
    if (close == std::wstring::npos) break;
    std::wstring value;
    out += text.substr(at, open - at);
    if (ReadEnvironmentVariable(text.substr(open + 1, close - open - 1).c_str(), value)) {
      out += value;
      at = close + 1;
    } else {
      out += text.substr(open, close - open);  // not set: kept, and its closing mark may open the next
      at = close;
    }
  }
  return out + text.substr(at);
}

}  // namespace platform
