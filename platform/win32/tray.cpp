#include "platform/tray.h"

#include <windows.h>
#include <shellapi.h>

#include <mutex>

#include "platform/win32/tray_icon.h"
#include "platform/win32/window.h"

namespace platform {

namespace {
// The one icon record, reused by every call; balloons come from worker threads.
std::mutex g_tray_lock;
NOTIFYICONDATAW g_tray{};
HICON g_drawn_icon = nullptr;

// A 32 x 32 icon: a blue ring around a black centre with a white "K".
HICON DrawIcon() {
  const HDC screen = GetDC(nullptr);
  if (!screen) return nullptr;
  const HDC memory = CreateCompatibleDC(screen);
  const HBITMAP color = CreateCompatibleBitmap(screen, 32, 32);
  // An all-zero mask makes every pixel opaque; without bits its content is undefined.
  // Monochrome rows are WORD-aligned: 32 pixels are 4 bytes a row.
  static const unsigned char kOpaqueMask[32 * 4] = {};
  const HBITMAP mask = CreateBitmap(32, 32, 1, 1, kOpaqueMask);
  HICON icon = nullptr;
  if (memory && color && mask) {
    const HGDIOBJ old_bitmap = SelectObject(memory, color);
    const RECT all{0, 0, 32, 32};
    const HBRUSH background = CreateSolidBrush(RGB(16, 16, 20));
    FillRect(memory, &all, background);
    const HBRUSH blue = CreateSolidBrush(RGB(30, 144, 255));
    const HPEN pen = CreatePen(PS_SOLID, 3, RGB(30, 144, 255));
    const HGDIOBJ old_brush = SelectObject(memory, blue);
    const HGDIOBJ old_pen = SelectObject(memory, pen);
    Ellipse(memory, 3, 3, 29, 29);
    SelectObject(memory, GetStockObject(BLACK_BRUSH));
    Ellipse(memory, 10, 10, 22, 22);
    SetBkMode(memory, TRANSPARENT);
    SetTextColor(memory, RGB(255, 255, 255));
    const HFONT font = CreateFontW(18, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                   CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH, L"Segoe UI");
    const HGDIOBJ old_font = SelectObject(memory, font);
    RECT text_box = all;
    DrawTextW(memory, L"K", 1, &text_box, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    SelectObject(memory, old_font);
    SelectObject(memory, old_pen);
    SelectObject(memory, old_brush);
    SelectObject(memory, old_bitmap);

    ICONINFO info{};
    info.fIcon = TRUE;
    info.hbmMask = mask;
    info.hbmColor = color;
    icon = CreateIconIndirect(&info);
    if (font) DeleteObject(font);
    DeleteObject(pen);
    DeleteObject(blue);
    DeleteObject(background);
  }
  if (mask) DeleteObject(mask);
  if (color) DeleteObject(color);
  if (memory) DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return icon;
}

void CopyField(wchar_t* field, std::size_t capacity, const std::wstring& text) {
  const std::size_t count = text.size() < capacity ? text.size() : capacity - 1;
  text.copy(field, count);
  field[count] = L'\0';
}
}  // namespace

bool TrayAddIcon() {
  std::lock_guard<std::mutex> hold(g_tray_lock);
  if (!g_drawn_icon) g_drawn_icon = DrawIcon();
  g_tray = NOTIFYICONDATAW{};
  g_tray.cbSize = sizeof(NOTIFYICONDATAW);
  g_tray.hWnd = win32::MainWindow();
  g_tray.uID = 1;
  g_tray.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  g_tray.uCallbackMessage = win32::kTrayCallbackMessage;
  g_tray.hIcon = g_drawn_icon ? g_drawn_icon : LoadIconW(nullptr, IDI_SHIELD);
  CopyField(g_tray.szTip, ARRAYSIZE(g_tray.szTip), L"Kestrune \u2014 protecting in the background");
  return Shell_NotifyIconW(NIM_MODIFY, &g_tray) || Shell_NotifyIconW(NIM_ADD, &g_tray);
}

void TrayRemoveIcon() {
  std::lock_guard<std::mutex> hold(g_tray_lock);
  if (g_tray.hWnd) Shell_NotifyIconW(NIM_DELETE, &g_tray);
  if (g_drawn_icon) DestroyIcon(g_drawn_icon);
  g_drawn_icon = nullptr;
  g_tray.hIcon = nullptr;
  g_tray.hWnd = nullptr;
}

bool win32::TrayAddIconAgain() {
  std::lock_guard<std::mutex> hold(g_tray_lock);
  if (!g_tray.hWnd) return false;
  NOTIFYICONDATAW again = g_tray;
  again.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  // The same broadcast also comes when the taskbar only changed its scale, and the
  // icon is still there: then it is brought up to date instead.
  return Shell_NotifyIconW(NIM_ADD, &again) || Shell_NotifyIconW(NIM_MODIFY, &again);
}

bool TrayShowBalloon(const std::wstring& title, const std::wstring& text) {
  std::lock_guard<std::mutex> hold(g_tray_lock);
  if (!g_tray.hWnd) return false;
  g_tray.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_INFO;
  CopyField(g_tray.szInfoTitle, ARRAYSIZE(g_tray.szInfoTitle), title);
  CopyField(g_tray.szInfo, ARRAYSIZE(g_tray.szInfo), text);
  g_tray.dwInfoFlags = NIIF_WARNING;
  return Shell_NotifyIconW(NIM_MODIFY, &g_tray) != FALSE;
}

}  // namespace platform
