#include "app/headless.h"

#include "app/activity_log.h"
#include "app/cpu_sampler.h"
#include "app/guarded_step.h"
#include "app/runtime_state.h"
#include "app/startup.h"
#include "app/telemetry.h"
#include "app/workers.h"
#include "engine/scan_index.h"
#include "platform/gui.h"
#include "platform/process_setup.h"
#include "scan/scans.h"

namespace {
constexpr uint64_t kHeadlessWakeMs = 15000;
}

void RunHeadless() {
  UiVisible.store(false);
  AppendActivity(L"[SYSTEM] GUI unavailable \u2014 engine stays on in headless mode.");
  StartOneShot(L"headless-scan", RunQuickScan);
  while (AppRunning.load()) {
    if (!platform::GuiHasWindow()) {
      SleepForPeriod(kHeadlessWakeMs);
      continue;
    }
    // A window without a device still gets messages: broadcast senders and the end
    // of the session wait for every top-level window to answer.
    if (platform::GuiPumpMessages()) return;
    platform::GuiWaitForMessages(kHeadlessWakeMs);
  }
}

int HeadlessMode() {
  platform::GuiReleaseDevice();
  OpenCpuSampler();
  StartLongLivedWorkers();
  AppendActivity(kEngineActiveLine);
  RunHeadless();
  StopAllWorkers();
  SaveScanIndex();
  WriteRunCounters(true);
  if (platform::GuiHasWindow()) platform::GuiDestroyWindow();
  platform::GuiUnregisterClass();
  platform::ComUninit();
  return 0;
}
