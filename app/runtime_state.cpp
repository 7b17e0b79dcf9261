#include "app/runtime_state.h"

std::atomic<bool> AppRunning{true};
std::condition_variable WorkerWake;
std::atomic<bool> UiVisible{true};
std::atomic<bool> BackgroundStart{false};

void StopAllWorkers() {
  AppRunning.exchange(false);
  WorkerWake.notify_all();
}
