#include "platform/threads.h"

#include <thread>

namespace platform {

void StartDetachedThread(const std::wstring& /*name*/, std::function<void()> body) {
  std::thread(std::move(body)).detach();
}

}  // namespace platform
