#include "platform/threads.h"

#include <system_error>

#include "platform/standin/machine.h"

namespace standin {

void SetThreadStartFails(bool fails) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().thread_start_fails = fails;
}

}  // namespace standin

namespace platform {

// Recorded, not started: tests run a body on their own thread when they want it.
void StartDetachedThread(const std::wstring& name, std::function<void()> body) {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  auto& machine = standin::TheMachine();
  if (machine.thread_start_fails) {
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
  }
  machine.journal.push_back("StartThread " + standin::Narrow(name));
  machine.threads.push_back({name, std::move(body)});
}

}  // namespace platform
