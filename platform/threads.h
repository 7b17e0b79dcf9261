#pragma once
// Detached threads. Nothing in the program ever joins a thread.
#include <functional>
#include <string>

namespace platform {

// Starts a thread that runs the body once and ends; the thread is detached at once.
// Throws std::system_error when no thread can be started.
void StartDetachedThread(const std::wstring& name, std::function<void()> body);

}  // namespace platform
