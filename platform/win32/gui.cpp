#include "platform/gui.h"

#include <windows.h>
#include <d3d11.h>

#include <imgui.h>
#include <imgui_impl_dx11.h>
#include <imgui_impl_win32.h>

#include "platform/tray.h"
#include "platform/win32/tray_icon.h"
#include "platform/win32/window.h"

// The back end's message handler is declared here to keep <windows.h> out of its header.
extern IMGUI_IMPL_API LRESULT ImGui_ImplWin32_WndProcHandler(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);

namespace platform {

namespace {
constexpr wchar_t kWindowClass[] = L"AntivirusGUIClass";

ID3D11Device* g_device = nullptr;
ID3D11DeviceContext* g_context = nullptr;
IDXGISwapChain* g_swap_chain = nullptr;
ID3D11RenderTargetView* g_render_target = nullptr;

template <typename T>
void Release(T*& object) {
  if (object) object->Release();
  object = nullptr;
}

void ReleaseRenderTarget() { Release(g_render_target); }

bool TryCreateDevice(D3D_DRIVER_TYPE driver, UINT buffers, UINT flags) {
  DXGI_SWAP_CHAIN_DESC desc{};
  desc.BufferDesc.Width = 0;
  desc.BufferDesc.Height = 0;
  desc.BufferDesc.RefreshRate = {60, 1};
  desc.BufferDesc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
  desc.SampleDesc = {1, 0};
  desc.BufferUsage = DXGI_USAGE_RENDER_TARGET_OUTPUT;
  desc.BufferCount = buffers;
  desc.OutputWindow = win32::MainWindow();
  desc.Windowed = TRUE;
  desc.SwapEffect = DXGI_SWAP_EFFECT_DISCARD;
  desc.Flags = flags;
  const D3D_FEATURE_LEVEL levels[] = {D3D_FEATURE_LEVEL_11_0, D3D_FEATURE_LEVEL_10_1, D3D_FEATURE_LEVEL_10_0,
                                      D3D_FEATURE_LEVEL_9_3};
  D3D_FEATURE_LEVEL obtained{};
  return SUCCEEDED(D3D11CreateDeviceAndSwapChain(nullptr, driver, nullptr, 0, levels, 4, D3D11_SDK_VERSION, &desc,
                                                 &g_swap_chain, &g_device, &obtained, &g_context));
}

void (*g_event_handler)(GuiEvent) = nullptr;

void Raise(GuiEvent event) {
  if (g_event_handler) g_event_handler(event);
}

constexpr UINT kMenuOpen = 41001;
constexpr UINT kMenuQuickScan = 41002;
constexpr UINT kMenuExit = 41003;

void ShowTrayMenu(HWND hwnd) {
  POINT cursor{};
  GetCursorPos(&cursor);
  const HMENU menu = CreatePopupMenu();
  if (!menu) return;
  AppendMenuW(menu, MF_STRING, kMenuOpen, L"Open Kestrune");
  AppendMenuW(menu, MF_STRING, kMenuQuickScan, L"Quick Scan");
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, MF_STRING, kMenuExit, L"Exit");
  SetForegroundWindow(hwnd);  // lets the menu close when the user clicks elsewhere
  const UINT command = static_cast<UINT>(
      TrackPopupMenu(menu, TPM_RIGHTBUTTON | TPM_RETURNCMD, cursor.x, cursor.y, 0, hwnd, nullptr));
  DestroyMenu(menu);
  switch (command) {
    case kMenuOpen:
      Raise(GuiEvent::ShowFromTray);
      break;
    case kMenuQuickScan:
      Raise(GuiEvent::TrayQuickScan);
      break;
    case kMenuExit:
      Raise(GuiEvent::TrayExit);
      break;
  }
}

// Closing or minimising only hides the window to the tray; protection goes on.
LRESULT CALLBACK WindowProcedure(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (ImGui_ImplWin32_WndProcHandler(hwnd, msg, wparam, lparam)) return 1;
  if (msg != 0 && msg == win32::TaskbarCreatedMessage()) {
    if (win32::TrayAddIconAgain()) Raise(GuiEvent::TrayIconAddedAgain);
    return 0;
  }
  switch (msg) {
    case WM_SIZE:
      if (wparam == SIZE_MINIMIZED) {
        Raise(GuiEvent::HideToTray);
      } else if (g_device && g_swap_chain) {
        ReleaseRenderTarget();
        g_swap_chain->ResizeBuffers(0, LOWORD(lparam), HIWORD(lparam), DXGI_FORMAT_UNKNOWN, 0);
        GuiCreateRenderTarget();
      }
      return 0;
    case WM_CLOSE:
      Raise(GuiEvent::HideToTray);
      return 0;
    case WM_SYSCOMMAND:
      switch (wparam & 0xFFF0) {
        case SC_MINIMIZE:
        case SC_CLOSE:
          Raise(GuiEvent::HideToTray);
          return 0;
        case SC_KEYMENU:
          return 0;  // no window menu on Alt
      }
      break;
    case win32::kTrayCallbackMessage:
      switch (LOWORD(lparam)) {
        case WM_LBUTTONUP:
        case WM_LBUTTONDBLCLK:
          Raise(GuiEvent::ShowFromTray);
          break;
        case WM_RBUTTONUP:
          ShowTrayMenu(hwnd);
          break;
      }
      return 0;
    case WM_DESTROY:
      TrayRemoveIcon();
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(hwnd, msg, wparam, lparam);
}
}  // namespace

bool GuiCreateWindow() {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.style = CS_CLASSDC;
  window_class.lpfnWndProc = WindowProcedure;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = kWindowClass;
  RegisterClassExW(&window_class);
  win32::SetMainWindow(CreateWindowExW(0, kWindowClass, L"Kestrune AV", WS_OVERLAPPEDWINDOW, 80, 60, 1100, 680,
                                       nullptr, nullptr, window_class.hInstance, nullptr));
  return win32::MainWindow() != nullptr;
}

bool GuiHasWindow() { return win32::MainWindow() != nullptr; }

void GuiSetEventHandler(void (*handler)(GuiEvent event)) { g_event_handler = handler; }

void GuiRestoreWindow() {
  ShowWindow(win32::MainWindow(), SW_RESTORE);
  SetForegroundWindow(win32::MainWindow());
}

bool GuiCreateDevice() {
  if (TryCreateDevice(D3D_DRIVER_TYPE_HARDWARE, 2, DXGI_SWAP_CHAIN_FLAG_ALLOW_MODE_SWITCH)) return true;
  GuiReleaseDevice();
  if (TryCreateDevice(D3D_DRIVER_TYPE_WARP, 1, 0)) return true;
  GuiReleaseDevice();
  return false;
}

void GuiCreateRenderTarget() {
  if (!g_swap_chain || !g_device) return;
  ID3D11Texture2D* back_buffer = nullptr;
  if (FAILED(g_swap_chain->GetBuffer(0, IID_PPV_ARGS(&back_buffer))) || !back_buffer) return;
  g_device->CreateRenderTargetView(back_buffer, nullptr, &g_render_target);
  back_buffer->Release();
}

void GuiReleaseDevice() {
  ReleaseRenderTarget();
  Release(g_swap_chain);
  Release(g_context);
  Release(g_device);
}

void GuiShowWindow(int show_command) {
  ShowWindow(win32::MainWindow(), show_command);
  UpdateWindow(win32::MainWindow());
}

void GuiHideWindow() { ShowWindow(win32::MainWindow(), SW_HIDE); }

void GuiInitBackends() {
  ImGui_ImplWin32_Init(win32::MainWindow());
  ImGui_ImplDX11_Init(g_device, g_context);
}

void GuiShutdownBackends() {
  ImGui_ImplDX11_Shutdown();
  ImGui_ImplWin32_Shutdown();
}

namespace {
bool IsButtonPress(UINT message) {
  return message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN || message == WM_MBUTTONDOWN ||
         message == WM_LBUTTONDBLCLK || message == WM_RBUTTONDBLCLK || message == WM_MBUTTONDBLCLK;
}
}  // namespace

bool GuiPumpMessages() {
  bool quit = false;
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    if (msg.message == WM_QUIT) quit = true;
    // The GUI library samples the buttons once per frame: a press and its release
    // in one drain would be lost, so the frame is drawn between them.
    if (!quit && IsButtonPress(msg.message)) return false;
  }
  return quit;
}

bool GuiWindowShown() {
  const HWND window = win32::MainWindow();
  return window && !IsIconic(window) && IsWindowVisible(window);
}

void GuiBackendsNewFrame() {
  ImGui_ImplDX11_NewFrame();
  ImGui_ImplWin32_NewFrame();
}

void GuiRenderAndPresent(bool vsync) {
  const float clear[4] = {0.1f, 0.1f, 0.1f, 1.0f};
  if (g_render_target) {
    g_context->OMSetRenderTargets(1, &g_render_target, nullptr);
    g_context->ClearRenderTargetView(g_render_target, clear);
  }
  ImGui_ImplDX11_RenderDrawData(ImGui::GetDrawData());
  if (g_swap_chain) g_swap_chain->Present(vsync ? 1 : 0, 0);
}

void GuiWaitForMessages(uint32_t timeout_ms) {
  MsgWaitForMultipleObjects(0, nullptr, FALSE, timeout_ms, QS_ALLINPUT);
}

void GuiDestroyWindow() {
  // The swap chain presents into the window, so it goes first.
  ReleaseRenderTarget();
  Release(g_swap_chain);
  if (win32::MainWindow()) DestroyWindow(win32::MainWindow());
  win32::SetMainWindow(nullptr);
}

void GuiUnregisterClass() { UnregisterClassW(kWindowClass, GetModuleHandleW(nullptr)); }

}  // namespace platform
