// The inspections on the real system: a Run value written by reg.exe and long ones
// written through the registry, a process whose image is gone, task definitions
// stored as Windows stores them, and an official tool's output through its pipe.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/activity_log.h"
#include "app/data_dir.h"
#include "engine/scan_index.h"
#include "inspect/process_watch.h"
#include "inspect/repair_tools.h"
#include "inspect/run_key_scan.h"
#include "inspect/service_scan.h"
#include "inspect/task_definition.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "../unit/task_xml.h"
#include "temp_folder.h"
#include "upkeep/admin_mode.h"

namespace {
constexpr wchar_t kRunKey[] = L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";

bool Logged(const std::wstring& line) {
  const auto lines = ActivityLines();
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::wstring Cmd() { return platform::SystemFolder() + L"\\cmd.exe"; }

// The process running the image of that file name, 0 when none.
uint32_t ProcessOf(const std::wstring& exe_name) {
  std::vector<platform::ProcessEntry> processes;
  if (!platform::ListProcesses(processes)) return 0;
  for (const auto& process : processes) {
    if (_wcsicmp(process.exe_name.c_str(), exe_name.c_str()) == 0) return process.pid;
  }
  return 0;
}

class InspectionWin32Test : public TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    ResetActivityState();
    DataDir = root_ + L"\\data";
    QuarantineDir = DataDir + L"\\Quarantine";
    SnapshotsDir = DataDir + L"\\Snapshots";
    platform::MakeDirectories(SnapshotsDir);
  }
  void TearDown() override {
    AdminMode.store(false);
    ResetDataPathsForTest();
    ResetActivityState();
    TempFolderTest::TearDown();
  }
};
}  // namespace

TEST_F(InspectionWin32Test, RunValueWrittenByRegIsListedAndItsProgramScanned) {
  const std::wstring program = root_ + L"\\tool.exe";
  ASSERT_TRUE(platform::WriteFileBytes(program, "MZ"));
  const std::wstring value = L"KavWin32RunScan" + std::to_wstring(GetCurrentProcessId());
  const std::wstring reg = platform::SystemFolder() + L"\\reg.exe";
  ASSERT_TRUE(platform::RunHiddenAndWait(L"\"" + reg + L"\" add \"" + kRunKey + L"\" /v " + value +
                                             L" /t REG_SZ /f /d \"\\\"" + program + L"\\\" /quiet\"",
                                         30000));
  ScanRunKeys();
  platform::RunHiddenAndWait(L"\"" + reg + L"\" delete \"" + kRunKey + L"\" /v " + value + L" /f", 30000);

  EXPECT_TRUE(Logged(L"[REGISTRY] HKCU Run '" + value + L"' -> " + program));
  std::lock_guard<std::mutex> hold(ScanIndexLock);
  EXPECT_EQ(ScanIndex.count(program), 1u);  // the file scan judged it
}

TEST_F(InspectionWin32Test, LongRunValuesAreReadWholeAndTheirProgramsScanned) {
  const auto hkcu = platform::RegistryHive::CurrentUser;
  const wchar_t* run = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  const std::wstring program = root_ + L"\\long.exe";
  ASSERT_TRUE(platform::WriteFileBytes(program, "MZ"));
  std::wstring name = L"KavWin32Long" + std::to_wstring(GetCurrentProcessId()) + L"_";
  name.resize(300, L'n');
  std::wstring command = L"\"" + program + L"\" --profile=";
  command.resize(1200, L'p');  // 2,402 bytes with the terminator
  ASSERT_TRUE(platform::WriteRegistryString(hkcu, run, name, command));
  ScanRunKeys();
  platform::DeleteRegistryValue(hkcu, run, name);

  EXPECT_TRUE(Logged(L"[REGISTRY] HKCU Run '" + name + L"' -> " + program));
  std::lock_guard<std::mutex> hold(ScanIndexLock);
  EXPECT_EQ(ScanIndex.count(program), 1u);
}

TEST_F(InspectionWin32Test, TaskDefinitionStoredAsUtf16IsDecoded) {
  std::wstring temp;
  ASSERT_TRUE(platform::ReadEnvironmentVariable(L"TEMP", temp));
  const std::wstring file = root_ + L"\\Updater";
  ASSERT_TRUE(platform::WriteFileBytes(
      file, Utf16Le(WindowsTaskXml(L"%TEMP%\\Updater\\update.exe", L"/silent \"C:\\a b\""), true)));
  std::string bytes;
  ASSERT_TRUE(platform::ReadFileBytes(file, bytes));
  const std::wstring command = FirstTaskCommand(bytes);
  EXPECT_EQ(command, L"%TEMP%\\Updater\\update.exe");
  EXPECT_EQ(platform::ExpandEnvironmentText(command), temp + L"\\Updater\\update.exe");
}

TEST_F(InspectionWin32Test, TaskScanFindsAStoredTaskOfAUserProgram) {
  // The task folder of the system, as the scan knows it; a folder of this run's own in it.
  const std::wstring store = L"C:\\Windows\\System32\\Tasks";
  const bool store_was_there = platform::PathExists(store);
  const std::wstring folder = store + L"\\KestruneAVTest" + std::to_wstring(GetCurrentProcessId());
  const std::wstring task = folder + L"\\Updater";
  const std::wstring program = root_ + L"\\update.exe";
  ASSERT_TRUE(platform::WriteFileBytes(program, "MZ"));
  std::wstring temp;
  ASSERT_TRUE(platform::ReadEnvironmentVariable(L"TEMP", temp));
  ASSERT_EQ(_wcsnicmp(program.c_str(), temp.c_str(), temp.size()), 0);  // the temporary folder holds the program
  const std::wstring written = L"%TEMP%" + program.substr(temp.size());
  const bool planted = CreateDirectoryW(folder.c_str(), nullptr) || platform::MakeDirectories(folder);
  if (!planted || !platform::WriteFileBytes(task, Utf16Le(WindowsTaskXml(written, L"/silent"), true))) {
    RemoveDirectoryW(folder.c_str());
    GTEST_SKIP() << "the task folder cannot be written here";
  }
  ScanTaskCommands();
  DeleteFileW(task.c_str());
  RemoveDirectoryW(folder.c_str());
  if (!store_was_there) RemoveDirectoryW(store.c_str());

  EXPECT_TRUE(Logged(L"[ADMIN] Scheduled task command in user path: " + temp + program.substr(temp.size())));
  std::lock_guard<std::mutex> hold(ScanIndexLock);
  EXPECT_EQ(ScanIndex.count(temp + program.substr(temp.size())), 1u);
}

TEST_F(InspectionWin32Test, ProcessWhoseImageIsGoneIsReported) {
  const std::wstring copy = root_ + L"\\stealthy.exe";
  ASSERT_TRUE(CopyFileW(Cmd().c_str(), copy.c_str(), FALSE));
  ASSERT_TRUE(platform::StartHidden(L"\"" + copy + L"\" /c for /L %i in (1,0,2) do @rem", root_));
  uint32_t pid = 0;
  for (int tries = 0; tries < 50 && pid == 0; ++tries) {
    pid = ProcessOf(L"stealthy.exe");
    if (pid == 0) Sleep(100);
  }
  ASSERT_NE(pid, 0u);
  // Windows lets a running image be renamed; Wine keeps it open but lets it move too.
  const bool gone = DeleteFileW(copy.c_str()) || MoveFileW(copy.c_str(), (root_ + L"\\moved.bin").c_str());
  std::wstring image;
  const bool queried = platform::ProcessImagePath(pid, image);
  if (gone) ScanStealthProcesses();
  platform::TerminateProcessById(pid, 1);
  if (!gone) GTEST_SKIP() << "the running image could be neither deleted nor moved here";
  ASSERT_TRUE(queried);
  EXPECT_EQ(_wcsicmp(image.c_str(), copy.c_str()), 0);
  EXPECT_TRUE(Logged(L"[HEURISTIC] Process image missing on disk (user-mode stealth): " + image +
                     L" PID=" + std::to_wstring(pid)));
}

TEST_F(InspectionWin32Test, OfficialToolOutputComesThroughThePipe) {
  const std::wstring tool = platform::SystemFolder() + L"\\kav-test-tool.exe";
  ASSERT_TRUE(CopyFileW(Cmd().c_str(), tool.c_str(), FALSE));
  AdminMode.store(true);
  const bool ok = RunOfficialTool(L"kav-test-tool.exe", L"/c for /L %i in (1,1,80) do @echo kestrune-line-%i",
                                  L"Test tool");
  const bool failed = RunOfficialTool(L"kav-test-tool.exe", L"/c exit 3", L"Failing tool");
  DeleteFileW(tool.c_str());
  EXPECT_TRUE(ok);
  EXPECT_FALSE(failed);
  EXPECT_TRUE(Logged(L"[REPAIR] Starting official tool: Test tool"));
  EXPECT_TRUE(Logged(L"[REPAIR] Test tool finished, exit=0"));
  EXPECT_TRUE(Logged(L"[REPAIR] Failing tool finished, exit=3"));
  // Every output line is the last 400 bytes of what had gathered.
  int output_lines = 0;
  for (const auto& line : ActivityLines()) {
    if (line.find(L"kestrune-line-") == std::wstring::npos) continue;
    ++output_lines;
    EXPECT_EQ(line.size(), std::wstring(L"[REPAIR] ").size() + 400);
  }
  EXPECT_GE(output_lines, 2);  // about 1,500 bytes in all
}
