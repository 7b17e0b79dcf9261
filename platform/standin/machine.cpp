#include "platform/standin/machine.h"

namespace standin {

Machine& TheMachine() {
  // Never destroyed, so that a detached thread still running at exit finds it alive.
  static Machine* machine = new Machine();
  return *machine;
}

std::mutex& MachineLock() {
  static std::mutex* lock = new std::mutex();
  return *lock;
}

void Note(const std::string& entry) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().journal.push_back(entry);
}

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

}  // namespace standin
