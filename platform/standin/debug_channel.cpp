#include "platform/debug_channel.h"

#include "platform/standin/machine.h"

namespace platform {

void DebugChannelWrite(const std::wstring& line) {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  standin::TheMachine().debug_lines.push_back(line);
}

}  // namespace platform
