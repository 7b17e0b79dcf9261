#include "platform/console.h"

#include "platform/standin/machine.h"

namespace platform {

void WriteStandardOutput(const std::wstring& text) {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  standin::TheMachine().console_output += text;
}

}  // namespace platform

namespace standin {

std::wstring ConsoleOutput() {
  std::lock_guard<std::mutex> hold(MachineLock());
  return TheMachine().console_output;
}

}  // namespace standin
