#include "app/frame_loop.h"

#include "app/cpu_sampler.h"
#include "app/guarded_step.h"
#include "app/runtime_state.h"
#include "app/scan_state.h"
#include "app/telemetry.h"
#include "engine/scan_index.h"
#include "platform/clock.h"
#include "platform/gui.h"
#include "platform/process_setup.h"
#include "platform/tray.h"
#include "ui/dashboard.h"
#include "ui/gui_frame.h"

namespace {
constexpr uint32_t kIdleSleepMs = 120;
constexpr uint64_t kBusySleepMs = 50;
constexpr uint32_t kHiddenWakeMs = 1000;
}  // namespace

bool FrameIsIdle() { return !ScanActive.load() && !(OverlayFade.load() > 0.05f); }

void FrameLoop() {
  for (;;) {
    if (platform::GuiPumpMessages()) return;
    if (!platform::GuiWindowShown()) {
      UiVisible.store(false);
      platform::GuiWaitForMessages(kHiddenWakeMs);
      continue;
    }
    UiVisible.store(true);
    DrawGuiFrame(DrawDashboard);
    if (FrameIsIdle()) {
      PresentGuiFrame(false);
      platform::SleepMs(kIdleSleepMs);
    } else {
      PresentGuiFrame(true);
      SleepForPeriod(kBusySleepMs);
    }
  }
}

int ShutdownAfterQuit() {
  StopAllWorkers();
  SaveScanIndex();
  WriteRunCounters(true);
  platform::TrayRemoveIcon();
  CloseCpuSampler();
  ShutdownGuiLibrary();
  platform::GuiReleaseDevice();
  platform::GuiDestroyWindow();
  platform::GuiUnregisterClass();
  platform::ComUninit();
  return 0;
}
