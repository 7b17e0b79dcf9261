// Official tools run hidden with their output on a pipe: the bytes, the exit code,
// a tool that cannot be started, one that never ends, one that never stops writing,
// a grandchild that holds the pipe, and output in UTF-16.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "inspect/repair_tools.h"
#include "platform/processes.h"

namespace {
struct Captured {
  platform::ToolRun run;
  std::string output;
  bool announced_first = false;
};

Captured RunCmd(const std::wstring& arguments, uint64_t timeout_ms) {
  const std::wstring cmd = platform::SystemFolder() + L"\\cmd.exe";
  Captured captured;
  bool announced = false;
  captured.run = platform::RunToolCapturingOutput(
      cmd, L"\"" + cmd + L"\" " + arguments, platform::SystemFolder(), timeout_ms, [&] { announced = true; },
      [&](std::string_view bytes) {
        if (captured.output.empty()) captured.announced_first = announced;
        EXPECT_LE(bytes.size(), 511u);
        captured.output.append(bytes);
      });
  return captured;
}
// The output-pipe test tool, built beside the tests.
Captured RunChattyTool(const std::wstring& mode, uint64_t timeout_ms) {
  wchar_t self[MAX_PATH];
  std::wstring tool(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
  tool = tool.substr(0, tool.rfind(L'\\') + 1) + L"kav_chatty_tool.exe";
  Captured captured;
  captured.run = platform::RunToolCapturingOutput(
      tool, L"\"" + tool + L"\" " + mode, platform::SystemFolder(), timeout_ms, [] {},
      [&](std::string_view bytes) {
        // Kept bounded: a chatty tool writes megabytes a second.
        if (captured.output.size() < 4096) captured.output.append(bytes.substr(0, 4096 - captured.output.size()));
      });
  return captured;
}
}  // namespace

TEST(ToolRunWin32, OutputAndExitCodeComeBack) {
  const Captured hello = RunCmd(L"/c echo kestrune-tool-output& exit 5", 60000);
  ASSERT_TRUE(hello.run.pipe_made);
  ASSERT_TRUE(hello.run.started);
  EXPECT_FALSE(hello.run.timed_out);
  EXPECT_EQ(hello.run.exit_code, 5u);
  EXPECT_NE(hello.output.find("kestrune-tool-output"), std::string::npos);
  EXPECT_TRUE(hello.announced_first);

  // More than one read's worth arrives whole, in reads of at most 511 bytes.
  const Captured many = RunCmd(L"/c for /L %i in (1,1,200) do @echo line-%i", 60000);
  EXPECT_EQ(many.run.exit_code, 0u);
  EXPECT_NE(many.output.find("line-1\r\n"), std::string::npos);
  EXPECT_NE(many.output.find("line-200\r\n"), std::string::npos);
}

TEST(ToolRunWin32, AToolThatNeverEndsIsEndedAtTheTimeLimit) {
  const ULONGLONG start = GetTickCount64();
  const Captured hung = RunCmd(L"/c for /L %i in (1,0,2) do @rem", 1500);
  EXPECT_TRUE(hung.run.started);
  EXPECT_TRUE(hung.run.timed_out);
  EXPECT_EQ(hung.run.exit_code, 1u);
  EXPECT_LT(GetTickCount64() - start, 30000u);
}

TEST(ToolRunWin32, AMissingProgramIsNotStarted) {
  bool announced = false;
  const std::wstring missing = platform::SystemFolder() + L"\\no-such-tool.exe";
  const platform::ToolRun run = platform::RunToolCapturingOutput(
      missing, L"\"" + missing + L"\"", platform::SystemFolder(), 1000, [&] { announced = true; },
      [](std::string_view) {});
  EXPECT_TRUE(run.pipe_made);
  EXPECT_TRUE(announced);
  EXPECT_FALSE(run.started);
}

TEST(ToolRunWin32, AToolThatNeverStopsWritingIsEndedAtTheTimeLimit) {
  const ULONGLONG start = GetTickCount64();
  const Captured chatty = RunChattyTool(L"chatty", 1500);
  const ULONGLONG took = GetTickCount64() - start;
  ASSERT_TRUE(chatty.run.started);
  EXPECT_TRUE(chatty.run.timed_out);
  EXPECT_EQ(chatty.run.exit_code, 1u);
  EXPECT_GE(took, 1500u);
  EXPECT_LT(took, 15000u);
  EXPECT_EQ(chatty.output.rfind("Verification 12% complete.\r\n", 0), 0u);
}

TEST(ToolRunWin32, AGrandchildHoldingThePipeDoesNotHoldTheRun) {
  const ULONGLONG start = GetTickCount64();
  const Captured run = RunChattyTool(L"grandchild", 60000);
  const ULONGLONG took = GetTickCount64() - start;
  ASSERT_TRUE(run.run.started);
  EXPECT_FALSE(run.run.timed_out);  // the tool itself ended, with its own code
  EXPECT_EQ(run.run.exit_code, 7u);
  EXPECT_LT(took, 20000u);
  EXPECT_NE(run.output.find("Verification 12% complete."), std::string::npos);  // the grandchild's writing was read
}

TEST(ToolRunWin32, OutputInUtf16IsDecoded) {
  const Captured run = RunChattyTool(L"utf16", 60000);
  ASSERT_TRUE(run.run.started);
  EXPECT_EQ(run.run.exit_code, 0u);
  ToolOutputDecoder decoder;
  std::wstring text = decoder.Add(run.output);
  text += decoder.Finish();
  EXPECT_EQ(text, L"\r\nBeginning system scan.  This process will take some time.\r\n"
                  L"Windows Resource Protection did not find any integrity violations.\r\n");
}
