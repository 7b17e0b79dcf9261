#include "app/activity_log.h"

#include <deque>

#include "platform/debug_channel.h"

std::mutex UiStateLock;
std::wstring StatusText = L"System fully protected.";
std::wstring ActiveTarget;

namespace {
std::deque<std::wstring> g_lines;

// Names that come from outside (a Run value's name, a file name, a service's) may
// hold line breaks and other control characters: a line shows them as blanks, so
// that nobody can forge a line of its own in the log.
std::wstring OneLine(const std::wstring& text) {
  std::wstring line = text;
  for (wchar_t& c : line) {
    if (c < 0x20 || c == 0x7F || c == 0x2028 || c == 0x2029) c = L' ';
  }
  return line;
}
}  // namespace

void AppendActivity(const std::wstring& text) {
  try {
    const std::wstring line = OneLine(text);
    {
      std::lock_guard<std::mutex> hold(UiStateLock);
      g_lines.push_back(line);
      while (g_lines.size() > kActivityLogCapacity) g_lines.pop_front();
    }
    platform::DebugChannelWrite(line);
  } catch (...) {
    // A line that cannot be stored is dropped; reporting must never fail a caller.
  }
}

void UpdateStatus(const std::wstring& sentence, const std::wstring& target) {
  {
    std::lock_guard<std::mutex> hold(UiStateLock);
    StatusText = sentence;
    ActiveTarget = target;
  }
  AppendActivity(sentence);
}

void ForEachActivityLine(const std::function<void(const std::wstring&)>& visit) {
  std::lock_guard<std::mutex> hold(UiStateLock);
  for (const auto& line : g_lines) visit(line);
}

std::vector<std::wstring> ActivityLines() {
  std::lock_guard<std::mutex> hold(UiStateLock);
  return {g_lines.begin(), g_lines.end()};
}

void ResetActivityState() {
  std::lock_guard<std::mutex> hold(UiStateLock);
  g_lines.clear();
  StatusText = L"System fully protected.";
  ActiveTarget.clear();
}
