#include "platform/gui.h"

#include <imgui.h>

#include <string>

#include "platform/standin/machine.h"

// A window that exists only in memory: the GUI library draws into it with no
// renderer, and the loop's turns, shows and presentations are scripted and recorded.
namespace platform {

namespace {
standin::Machine& M() { return standin::TheMachine(); }
using Hold = std::lock_guard<std::mutex>;
}  // namespace

bool GuiCreateWindow() {
  Hold hold(standin::MachineLock());
  M().journal.push_back("CreateWindow");
  M().window_exists = M().window_works;
  return M().window_exists;
}

bool GuiHasWindow() {
  Hold hold(standin::MachineLock());
  return M().window_exists;
}

bool GuiCreateDevice() {
  Hold hold(standin::MachineLock());
  M().journal.push_back("CreateDevice hardware");
  if (!M().hardware_works) M().journal.push_back("CreateDevice warp");
  M().device_exists = M().hardware_works || M().warp_works;
  return M().device_exists;
}

void GuiCreateRenderTarget() { standin::Note("CreateRenderTarget"); }

void GuiReleaseDevice() {
  Hold hold(standin::MachineLock());
  M().journal.push_back("ReleaseDevice");
  M().device_exists = false;
}

void GuiShowWindow(int show_command) {
  Hold hold(standin::MachineLock());
  M().journal.push_back("ShowWindow " + std::to_string(show_command));
  M().window_visible = show_command != kShowHidden;
}

void GuiHideWindow() {
  Hold hold(standin::MachineLock());
  M().journal.push_back("HideWindow");
  M().window_visible = false;
}

void GuiInitBackends() {
  standin::Note("InitBackends");
  ImGuiIO& io = ImGui::GetIO();
  unsigned char* pixels = nullptr;
  int width = 0;
  int height = 0;
  io.Fonts->GetTexDataAsRGBA32(&pixels, &width, &height);
  io.DisplaySize = ImVec2(1100.0f, 680.0f);
}

void GuiShutdownBackends() { standin::Note("ShutdownBackends"); }

bool GuiPumpMessages() {
  Hold hold(standin::MachineLock());
  ++M().turn;
  return M().turn >= M().quit_after_turns;
}

bool GuiWindowShown() {
  std::function<bool(int)> shown;
  int turn = 0;
  {
    Hold hold(standin::MachineLock());
    shown = M().shown_on_turn;
    turn = M().turn;
  }
  if (shown) return shown(turn);
  Hold hold(standin::MachineLock());
  return M().window_visible;
}

void GuiBackendsNewFrame() {
  ImGuiIO& io = ImGui::GetIO();
  io.DisplaySize = ImVec2(1100.0f, 680.0f);
  io.DeltaTime = 1.0f / 60.0f;
}

void GuiRenderAndPresent(bool vsync) {
  Hold hold(standin::MachineLock());
  M().presents.push_back(vsync);
  M().journal.push_back(vsync ? "Present vsync=1" : "Present vsync=0");
}

void GuiWaitForMessages(uint32_t timeout_ms) {
  {
    Hold hold(standin::MachineLock());
    M().journal.push_back("WaitForMessages " + std::to_string(timeout_ms));
    M().now_ms += timeout_ms;
  }
}

void GuiDestroyWindow() {
  Hold hold(standin::MachineLock());
  M().journal.push_back("DestroyWindow");
  M().window_exists = false;
  M().window_visible = false;
}

void GuiUnregisterClass() { standin::Note("UnregisterClass"); }

}  // namespace platform
