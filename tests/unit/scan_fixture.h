#pragma once
// A machine with the data folder in place, the user bob's profile on C: and a tray
// icon, for the scans and the response to what they find.
#include <algorithm>
#include <string>
#include <vector>

#include "pe_fixture.h"
#include "platform/tray.h"
#include "response/threat_manager.h"
#include "standin_fixture.h"

class ScanTest : public StandinTest {
 protected:
  void SetUp() override {
    StandinTest::SetUp();
    InitPaths();
    ResetActivityState();
    standin::SetProfileFolder(kProfile);
    platform::TrayAddIcon();
  }

  static constexpr const wchar_t* kProfile = L"C:\\Users\\bob";
  static constexpr const wchar_t* kDownloads = L"C:\\Users\\bob\\Downloads";

  static bool Logged(const std::wstring& line) {
    const auto lines = ActivityLines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }

  static int CountLines(const std::wstring& prefix) {
    int count = 0;
    for (const auto& line : ActivityLines()) count += line.rfind(prefix, 0) == 0 ? 1 : 0;
    return count;
  }

  // Runs an isolation worker on this thread until the queue is drained.
  static void DrainQueue() {
    AppRunning.store(false);
    IsolationWorkerJob();
    AppRunning.store(true);
  }

  // What the scorer hands the threat manager for a file it flags.
  static HeuristicResult Flagged(int score) {
    HeuristicResult result;
    result.flagged = result.suspicious = true;
    result.score = score;
    return result;
  }

  // The ASCII text of a wide string (tests' paths and contents are ASCII).
  static std::string Ascii(const std::wstring& text) { return std::string(text.begin(), text.end()); }

  // Ordinary text of the given size.
  static std::string TextBytes(std::size_t size, const std::string& line = "quarterly figures, draft 3\r\n") {
    std::string text;
    while (text.size() < size) text += line;
    text.resize(size);
    return text;
  }
};
