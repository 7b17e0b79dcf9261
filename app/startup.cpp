#include "app/startup.h"

#include "app/activity_log.h"
#include "app/cpu_sampler.h"
#include "app/data_dir.h"
#include "app/frame_loop.h"
#include "app/guarded_step.h"
#include "app/headless.h"
#include "app/os_profile.h"
#include "app/runtime_state.h"
#include "app/single_instance.h"
#include "app/workers.h"
#include "platform/gui.h"
#include "platform/process_setup.h"
#include "scan/scans.h"
#include "platform/tray.h"
#include "ui/gui_frame.h"
#include "ui/taskbar_pin.h"
#include "ui/window_events.h"
#include "upkeep/admin_mode.h"
#include "upkeep/integrity.h"
#include "upkeep/logon_start.h"

const wchar_t* const kEngineActiveLine = L"[SYSTEM] Kestrune 2.0 heuristic engine active (no signatures).";

void RunStartupSteps() {
  const struct {
    const wchar_t* name;
    Job job;
  } steps[] = {
      {L"init-paths", InitPaths},
      {L"startup", RegisterLogonStart},
      {L"updater", LaunchUpdater},
      {L"admin-check", CheckAdminMode},
      {L"integrity-baseline", RunIntegrityBaseline},
  };
  for (const auto& step : steps) RunGuarded(step.name, step.job);
}

int RunProgram(std::string_view command_line, int show_command) {
  platform::DetachConsole();
  platform::SetAppIdentity(kAppIdentity);
  if (platform::AcquireInstanceMutex(L"Local\\KestruneAVSingle") == platform::InstanceLock::AlreadyRunning &&
      AnotherInstanceRuns()) {
    return 0;
  }
  const bool background = command_line.find("/background") != std::string_view::npos;
  if (background) show_command = platform::kShowHidden;
  platform::HardenProcessAccess();
  DetectOsProfile();
  RunStartupSteps();
  platform::ComInit();

  platform::GuiSetEventHandler(HandleGuiEvent);
  if (!platform::GuiCreateWindow()) return HeadlessMode();
  if (background) {
    BackgroundStart.store(true);
    platform::GuiHideWindow();
  } else {
    StampAppIdentity(true);
  }
  if (!platform::GuiCreateDevice()) return HeadlessMode();
  platform::GuiCreateRenderTarget();
  platform::GuiShowWindow(show_command);
  platform::TrayAddIcon();
  if (background) {
    UiVisible.store(false);
    BackgroundStart.store(true);
    platform::GuiHideWindow();
    AppendActivity(L"[STARTUP] Background protection on. Silent scan started.");
    StartOneShot(L"boot-scan", RunQuickScan);
  }
  InitGuiLibrary();
  OpenCpuSampler();
  StartLongLivedWorkers();
  AppendActivity(kEngineActiveLine);
  FrameLoop();
  return ShutdownAfterQuit();
}
