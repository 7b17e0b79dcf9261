#pragma once
// Process-wide run state shared by the main thread and every worker.
#include <atomic>
#include <condition_variable>
#include <mutex>

// True from start until Exit or shutdown; every loop tests it.
extern std::atomic<bool> AppRunning;
// The one wake-up signal of the process; only ever notified with notify_all.
extern std::condition_variable WorkerWake;
// True while the dashboard is drawn; false while hidden, minimised or headless.
extern std::atomic<bool> UiVisible;
// Started with "/background" and the window was created hidden.
extern std::atomic<bool> BackgroundStart;

// Clears AppRunning and wakes every waiter of WorkerWake.
void StopAllWorkers();
