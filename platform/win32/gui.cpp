#include "platform/gui.h"

#include <windows.h>
#include <d3d11.h>

#include <imgui.h>
#include <imgui_impl_dx11.h>
#include <imgui_impl_win32.h>

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

LRESULT CALLBACK WindowProcedure(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (ImGui_ImplWin32_WndProcHandler(hwnd, msg, wparam, lparam)) return TRUE;
  switch (msg) {
    case WM_SIZE:
      if (g_device && g_swap_chain && wparam != SIZE_MINIMIZED) {
        ReleaseRenderTarget();
        g_swap_chain->ResizeBuffers(0, LOWORD(lparam), HIWORD(lparam), DXGI_FORMAT_UNKNOWN, 0);
        GuiCreateRenderTarget();
      }
      return 0;
    case WM_SYSCOMMAND:
      if ((wparam & 0xFFF0) == SC_KEYMENU) return 0;  // no window menu on Alt
      break;
    case WM_DESTROY:
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

bool GuiPumpMessages() {
  bool quit = false;
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    if (msg.message == WM_QUIT) quit = true;
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
  g_swap_chain->Present(vsync ? 1 : 0, 0);
}

void GuiWaitForMessages(uint32_t timeout_ms) {
  MsgWaitForMultipleObjects(0, nullptr, FALSE, timeout_ms, QS_ALLINPUT);
}

void GuiDestroyWindow() {
  if (win32::MainWindow()) DestroyWindow(win32::MainWindow());
  win32::SetMainWindow(nullptr);
}

void GuiUnregisterClass() { UnregisterClassW(kWindowClass, GetModuleHandleW(nullptr)); }

}  // namespace platform
