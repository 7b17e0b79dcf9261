// The scanner's wait for a key on the real system (Windows or Wine): output sent to
// a pipe or a file has nobody to press a key, so nothing there may wait.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "platform/console.h"
#include "platform/processes.h"
#include "temp_folder.h"

namespace {

class ConsoleWin32 : public TempFolderTest {};

// Standard input a pipe that stays open and silent: a wait that read it would never end.
TEST_F(ConsoleWin32, NoWaitForAKeyWhenStandardInputIsAPipe) {
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  ASSERT_TRUE(CreatePipe(&read_end, &write_end, nullptr, 0));
  const HANDLE own_input = GetStdHandle(STD_INPUT_HANDLE);
  ASSERT_TRUE(SetStdHandle(STD_INPUT_HANDLE, read_end));
  EXPECT_FALSE(platform::IsInteractiveConsole());
  platform::WaitForKey();  // returns at once, or the test hangs
  SetStdHandle(STD_INPUT_HANDLE, own_input);
  CloseHandle(write_end);
  CloseHandle(read_end);
}

// The scanner with --pause and its output on a pipe, as a script runs it: the report
// ends with the summary, no question for a key, and the program ends by itself.
TEST_F(ConsoleWin32, TheScannerWithPauseEndsByItselfWhenItsOutputIsAPipe) {
  const std::wstring file = root_ + L"\\notes taken.txt";
  std::ofstream(file.c_str(), std::ios::binary) << "meeting at ten\r\n";
  std::string output;
  const std::wstring program = ScannerPath();
  const platform::ToolRun run = platform::RunToolCapturingOutput(
      program, L"\"" + program + L"\" --pause \"" + file + L"\"", root_, 60000, [] {},
      [&](std::string_view bytes) { output.append(bytes); });
  ASSERT_TRUE(run.started);
  EXPECT_FALSE(run.timed_out);
  EXPECT_EQ(run.exit_code, 0u);
  // The summary is the last line, whole.
  const std::size_t last = output.rfind("\r\n", output.size() >= 2 ? output.size() - 3 : 0);
  ASSERT_NE(last, std::string::npos);
  const std::string tail = output.substr(last + 2);
  EXPECT_EQ(tail.rfind("Scanned 1 files: ", 0), 0u) << tail;
  const std::string end = " 0 unreadable.\r\n";
  ASSERT_GE(tail.size(), end.size());
  EXPECT_EQ(tail.substr(tail.size() - end.size()), end) << tail;
  EXPECT_EQ(output.find("Press any key"), std::string::npos);
}

}  // namespace
