// The logon start in Wine's registry, the updater started beside the program, and
// the administrator question asked of the real token.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/activity_log.h"
#include "platform/files.h"
#include "platform/process_setup.h"
#include "platform/processes.h"
#include "upkeep/logon_start.h"

namespace {
constexpr wchar_t kRunKey[] = L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";

std::wstring ProgramFolder() {
  const std::wstring self = platform::ModuleFilePath();
  return self.substr(0, self.find_last_of(L"\\/"));
}

// What the tool printed (8-bit), run from the system folder.
std::string ToolOutput(const std::wstring& tool, const std::wstring& arguments) {
  const std::wstring path = platform::SystemFolder() + L"\\" + tool;
  std::string output;
  platform::RunToolCapturingOutput(path, L"\"" + path + L"\" " + arguments, platform::SystemFolder(), 30000, [] {},
                                   [&output](std::string_view bytes) { output.append(bytes); });
  return output;
}

// The updater's report once it has written one (up to 15 s); "" when none came.
std::wstring WaitForUpdaterReport(const std::wstring& report_path) {
  for (int tries = 0; tries < 150; ++tries) {
    std::string bytes;
    if (platform::ReadFileBytes(report_path, bytes) && !bytes.empty()) {
      return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
    }
    Sleep(100);
  }
  return L"";
}

class LogonStartWin32Test : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetActivityState();
    report_ = ProgramFolder() + L"\\updater-started.txt";
    DeleteFileW(report_.c_str());
  }
  void TearDown() override {
    DeleteFileW(report_.c_str());
    ResetActivityState();
  }
  std::wstring report_;
};
}  // namespace

TEST_F(LogonStartWin32Test, RunValueIsInTheRegistryAsRegSeesIt) {
  RegisterLogonStart();
  const std::string shown = ToolOutput(L"reg.exe", L"query \"" + std::wstring(kRunKey) + L"\" /v KestruneAV");
  ToolOutput(L"reg.exe", L"delete \"" + std::wstring(kRunKey) + L"\" /v KestruneAV /f");
  const std::wstring expected = LogonStartCommand(platform::ModuleFilePath());
  EXPECT_NE(shown.find("REG_SZ"), std::string::npos) << shown;
  EXPECT_NE(shown.find(std::string(expected.begin(), expected.end())), std::string::npos) << shown;
  EXPECT_EQ(ActivityLines(), std::vector<std::wstring>{L"[STARTUP] One background start at logon."});
}

TEST_F(LogonStartWin32Test, UpdaterBesideTheProgramIsRefusedUnderWine) {
  // Wine reads every file back as the user's own with the user's full control, so the
  // test program's folder is one other accounts may change: the updater beside it is
  // not started (on Windows it starts only from an administrators' folder).
  const std::wstring folder = ProgramFolder();
  LaunchUpdater();
  EXPECT_EQ(ActivityLines(), std::vector<std::wstring>{L"[UPDATE] Updater not started: other accounts may change it "
                                                       L"or its folder: " +
                                                       folder + L"\\KestruneUpdater.exe"});
  EXPECT_FALSE(platform::PathExists(report_));
}

TEST_F(LogonStartWin32Test, TheUpdatersStartRunsItWithWatchInItsFolder) {
  const std::wstring folder = ProgramFolder();
  const std::wstring updater = folder + L"\\KestruneUpdater.exe";
  EXPECT_EQ(platform::StartDetachedHidden(updater, L"\"" + updater + L"\" /watch", folder), 0u);
  const std::wstring report = WaitForUpdaterReport(report_);
  EXPECT_NE(report.find(L"/watch"), std::wstring::npos) << std::string(report.begin(), report.end());
  EXPECT_EQ(_wcsicmp(report.substr(report.find(L'\n') + 1, folder.size()).c_str(), folder.c_str()), 0);
  EXPECT_NE(platform::StartDetachedHidden(folder + L"\\missing.exe", L"missing.exe /watch", folder), 0u);
}

TEST_F(LogonStartWin32Test, WineRunsEveryProcessAsAnAdministrator) {
  // Wine has no limited tokens, so the membership question answers yes here.
  EXPECT_TRUE(platform::IsAdministratorsMember());
}
