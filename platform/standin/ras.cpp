#include "platform/ras.h"

#include "platform/standin/machine.h"

namespace standin {

void SetPhonebookEntries(const std::vector<std::wstring>& names) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().phonebook = names;
}

}  // namespace standin

namespace platform {

std::wstring FirstPhonebookEntry() {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  const auto& phonebook = standin::TheMachine().phonebook;
  return phonebook.empty() ? L"" : phonebook.front();
}

}  // namespace platform
