#include "platform/threads.h"

#include "platform/standin/machine.h"

namespace platform {

// Recorded, not started: tests run a body on their own thread when they want it.
void StartDetachedThread(const std::wstring& name, std::function<void()> body) {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  auto& machine = standin::TheMachine();
  machine.journal.push_back("StartThread " + standin::Narrow(name));
  machine.threads.push_back({name, std::move(body)});
}

}  // namespace platform
