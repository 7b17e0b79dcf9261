#include "platform/console.h"

#include <windows.h>

#include <algorithm>
#include <limits>
#include <string>

namespace platform {

namespace {
constexpr std::size_t kMaxPiece = 1u << 20;

void WriteToConsole(HANDLE console, const std::wstring& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    DWORD wrote = 0;
    const DWORD want = static_cast<DWORD>(std::min(text.size() - done, kMaxPiece));
    if (!WriteConsoleW(console, text.data() + done, want, &wrote, nullptr) || wrote == 0) return;
    done += wrote;
  }
}

// Redirected output goes to files and pipes, whose readers expect bytes, not UTF-16.
void WriteAsUtf8(HANDLE output, const std::wstring& text) {
  if (text.empty() || text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) return;
  const int source_length = static_cast<int>(text.size());
  const int needed = WideCharToMultiByte(CP_UTF8, 0, text.data(), source_length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return;
  std::string bytes(static_cast<std::size_t>(needed), '\0');
  if (WideCharToMultiByte(CP_UTF8, 0, text.data(), source_length, bytes.data(), needed, nullptr, nullptr) != needed) {
    return;
  }
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD wrote = 0;
    const DWORD want = static_cast<DWORD>(std::min(bytes.size() - done, kMaxPiece));
    if (!WriteFile(output, bytes.data() + done, want, &wrote, nullptr) || wrote == 0) return;
    done += wrote;
  }
}

bool IsConsole(DWORD which) {
  const HANDLE handle = GetStdHandle(which);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
  DWORD mode = 0;
  return GetConsoleMode(handle, &mode) != 0;
}

// Keys that are held with another, not pressed on their own.
bool IsModifierKey(WORD key) {
  return key == VK_SHIFT || key == VK_CONTROL || key == VK_MENU || key == VK_LWIN || key == VK_RWIN ||
         key == VK_CAPITAL || key == VK_NUMLOCK || key == VK_SCROLL;
}
}  // namespace

void WriteStandardOutput(const std::wstring& text) {
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  if (output == nullptr || output == INVALID_HANDLE_VALUE) return;
  // Asked once: the question costs a round trip to the system for every line, and
  // the standard output of a running program does not change its kind.
  static const bool is_console = [output] {
    DWORD mode = 0;
    return GetConsoleMode(output, &mode) != 0;
  }();
  if (is_console) {
    WriteToConsole(output, text);
  } else {
    WriteAsUtf8(output, text);
  }
}

bool IsInteractiveConsole() { return IsConsole(STD_INPUT_HANDLE) && IsConsole(STD_OUTPUT_HANDLE); }

void WaitForKey() {
  // The standard handles belong to the process, not to this function: never closed here.
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  if (input == nullptr || input == INVALID_HANDLE_VALUE) return;
  DWORD mode = 0;
  if (!GetConsoleMode(input, &mode)) return;
  // One key, not a line: without line input and echo; Ctrl+C then arrives as a key too.
  SetConsoleMode(input, 0);
  for (;;) {
    INPUT_RECORD record{};
    DWORD read = 0;
    if (!ReadConsoleInputW(input, &record, 1, &read) || read == 0) break;
    if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown) continue;
    if (IsModifierKey(record.Event.KeyEvent.wVirtualKeyCode)) continue;
    break;
  }
  SetConsoleMode(input, mode);
}

}  // namespace platform
