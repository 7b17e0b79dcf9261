#include "platform/console.h"

#include "platform/standin/machine.h"

namespace platform {

void WriteStandardOutput(const std::wstring& text) {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  standin::TheMachine().console_output += text;
}

bool IsInteractiveConsole() {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  return standin::TheMachine().console_interactive;
}

// A key is always there at once: the test sees the wait in the journal.
void WaitForKey() { standin::Note("WaitForKey"); }

}  // namespace platform

namespace standin {

std::wstring ConsoleOutput() {
  std::lock_guard<std::mutex> hold(MachineLock());
  return TheMachine().console_output;
}

void SetInteractiveConsole(bool interactive) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().console_interactive = interactive;
}

}  // namespace standin
