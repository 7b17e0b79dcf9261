// The real Windows layer, run under Windows or Wine.
#include <windows.h>

#include <gtest/gtest.h>

#include "temp_folder.h"

#include <string>
#include <thread>

#include "app/activity_log.h"
#include "app/cpu_sampler.h"
#include "app/data_dir.h"
#include "app/os_profile.h"
#include "app/text_file.h"
#include "platform/clock.h"
#include "platform/cpu.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/os_version.h"
#include "platform/process_setup.h"
#include "platform/shell_folders.h"

namespace {

using Win32Test = TempFolderTest;

TEST_F(Win32Test, FilesRoundTripAndFoldersAreMadeWithTheirParents) {
  const std::wstring deep = root_ + L"\\a\\b\\c";
  EXPECT_FALSE(platform::PathExists(deep));
  ASSERT_TRUE(platform::MakeDirectories(deep));
  EXPECT_TRUE(platform::MakeDirectories(deep));  // already there
  EXPECT_TRUE(platform::PathExists(deep));

  const std::wstring file = deep + L"\\x.bin";
  const std::string bytes("a\0b\r\nc", 6);
  ASSERT_TRUE(platform::WriteFileBytes(file, bytes));
  std::string read;
  ASSERT_TRUE(platform::ReadFileBytes(file, read));
  EXPECT_EQ(read, bytes);
  ASSERT_TRUE(platform::WriteFileBytes(file, ""));  // truncates
  ASSERT_TRUE(platform::ReadFileBytes(file, read));
  EXPECT_EQ(read, "");
  EXPECT_FALSE(platform::ReadFileBytes(deep + L"\\missing.bin", read));
}

TEST_F(Win32Test, TextFilesHaveCrLfOnDisk) {
  ASSERT_TRUE(platform::MakeDirectories(root_));
  const std::wstring file = root_ + L"\\telemetry.txt";
  ASSERT_TRUE(WriteTextFile(file, "scanned=1\n"));
  std::string raw;
  ASSERT_TRUE(platform::ReadFileBytes(file, raw));
  EXPECT_EQ(raw, "scanned=1\r\n");
}

TEST_F(Win32Test, NotFoundFamilyMeansAbsent) {
  // Missing file, missing parent folder, a file used as a folder, a bad name.
  ASSERT_TRUE(platform::MakeDirectories(root_));
  ASSERT_TRUE(platform::WriteFileBytes(root_ + L"\\plain.txt", "x"));
  for (const std::wstring& path : {root_ + L"\\nothing.txt", root_ + L"\\no\\such\\folder.txt",
                                   root_ + L"\\plain.txt\\inside.txt", root_ + L"\\bad<name>.txt"}) {
    SCOPED_TRACE(std::string(path.begin(), path.end()));
    EXPECT_FALSE(platform::PathExists(path));
  }
  for (DWORD code : {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_BAD_NETPATH, ERROR_NETNAME_DELETED,
                     ERROR_INVALID_NAME, ERROR_BAD_PATHNAME, ERROR_DIRECTORY}) {
    EXPECT_TRUE(platform::IsNotFoundError(code)) << code;
  }
  EXPECT_FALSE(platform::IsNotFoundError(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(platform::IsNotFoundError(ERROR_SHARING_VIOLATION));
}

TEST_F(Win32Test, EnvironmentVariablesOfAnyLength) {
  std::wstring value;
  SetEnvironmentVariableW(L"KAV_TEST_SHORT", L"C:\\Data");
  ASSERT_TRUE(platform::ReadEnvironmentVariable(L"KAV_TEST_SHORT", value));
  EXPECT_EQ(value, L"C:\\Data");

  const std::wstring long_value(300, L'x');
  SetEnvironmentVariableW(L"KAV_TEST_LONG", long_value.c_str());
  ASSERT_TRUE(platform::ReadEnvironmentVariable(L"KAV_TEST_LONG", value));
  EXPECT_EQ(value, long_value);

  SetEnvironmentVariableW(L"KAV_TEST_LONG", nullptr);
  EXPECT_FALSE(platform::ReadEnvironmentVariable(L"KAV_TEST_LONG", value));
}

TEST_F(Win32Test, DataFolderComesFromTheKnownFolderNeverFromTheEnvironment) {
  wchar_t saved[MAX_PATH] = L"";
  GetEnvironmentVariableW(L"ProgramData", saved, MAX_PATH);
  SetEnvironmentVariableW(L"ProgramData", root_.c_str());
  std::wstring base;
  ASSERT_TRUE(platform::KnownFolderPath(platform::IsAdministratorsMember() ? platform::KnownFolder::ProgramData
                                                                          : platform::KnownFolder::LocalAppData,
                                        base));
  const std::wstring expected = base + L"\\KestruneAV";
  RemoveTree(expected);
  InitPaths();
  SetEnvironmentVariableW(L"ProgramData", saved);
  EXPECT_EQ(DataDir, expected);
  EXPECT_FALSE(platform::PathExists(root_ + L"\\KestruneAV"));
  EXPECT_TRUE(platform::PathExists(QuarantineDir));
  EXPECT_TRUE(platform::PathExists(SnapshotsDir));
  const auto lines = ActivityLines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], L"[ENGINE] Heuristic scan plus 0 local bad hashes. No cloud lookup, so a dead network cannot "
                      L"stall a scan.");
  EXPECT_EQ(lines[1], L"[SYSTEM] Detection core online. Quarantine=" + expected + L"\\Quarantine");
  // The engine marker is written as text: 40 bytes with CR LF line ends.
  std::string marker;
  ASSERT_TRUE(platform::ReadFileBytes(EngineMarkerPath, marker));
  EXPECT_EQ(marker, "kestrune.engine=heuristic\r\nversion=2.0\r\n");
}

TEST(Win32Process, SecondMutexOfTheSameNameIsAlreadyRunning) {
  const std::wstring name = L"Local\\KestruneAVTest" + std::to_wstring(GetCurrentProcessId());
  EXPECT_EQ(platform::AcquireInstanceMutex(name.c_str()), platform::InstanceLock::Acquired);
  EXPECT_EQ(platform::AcquireInstanceMutex(name.c_str()), platform::InstanceLock::AlreadyRunning);
}

TEST(Win32Process, ASquattedNameIsTakenOverOnlyOnceItsHolderIsGone) {
  const std::wstring name = L"Local\\KestruneAVSquat" + std::to_wstring(GetCurrentProcessId());
  // The squatter: another thread creates the name owned and keeps it until told.
  const HANDLE created = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  const HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread squatter([&] {
    const HANDLE mutex = CreateMutexW(nullptr, TRUE, name.c_str());
    SetEvent(created);
    WaitForSingleObject(release, INFINITE);
    CloseHandle(mutex);  // ends without releasing: the mutex is abandoned
  });
  WaitForSingleObject(created, INFINITE);
  ASSERT_EQ(platform::AcquireInstanceMutex(name.c_str()), platform::InstanceLock::AlreadyRunning);
  EXPECT_FALSE(platform::TakeOverInstanceMutex());  // held by a running thread
  // No window of this program's class belongs to another process of this image.
  EXPECT_FALSE(platform::InstanceWindowOfThisProgram());
  SetEvent(release);
  squatter.join();
  EXPECT_TRUE(platform::TakeOverInstanceMutex());
  CloseHandle(created);
  CloseHandle(release);
}

TEST(Win32Process, ModulePathNamesThisProgram) {
  const std::wstring path = platform::ModuleFilePath();
  ASSERT_GT(path.size(), 4u);
  EXPECT_EQ(path.substr(path.size() - 4), L".exe");
  EXPECT_TRUE(platform::PathExists(path));
}

TEST(Win32Process, AccessHardeningKeepsTheProcessUsable) {
  platform::HardenProcessAccess();
  const HANDLE self = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, GetCurrentProcessId());
  ASSERT_NE(self, nullptr);  // the owner keeps full access
  CloseHandle(self);
}

TEST(Win32Os, VersionAndProfile) {
  const uint32_t build = platform::OsBuildNumber();
  EXPECT_GT(build, 0u);
  DetectOsProfile();
  EXPECT_EQ(OsProfile.BuildNumber, build);
  EXPECT_TRUE(platform::OsIsWorkstation());  // Windows desktop, or Wine's default
  EXPECT_EQ(std::string(OsProfile.OsProfileText), OsProfileTextFor(build, true));
}

TEST(Win32Clock, TicksAndSteadySleep) {
  const uint64_t tick = platform::TickCount64();
  const uint64_t start = platform::SteadyNowMs();
  platform::SleepUntilSteady(start + 30);
  EXPECT_GE(platform::SteadyNowMs(), start + 30);
  EXPECT_GE(platform::TickCount64(), tick);
  platform::SleepUntilSteady(0);  // a past deadline returns at once
}

TEST(Win32Cpu, QueryOpensSamplesAndCloses) {
  // Wine has no processor-utility counter: the query opens, but collecting and
  // reading may fail there, which must leave the value alone.
  ASSERT_TRUE(platform::CpuQueryOpen());
  double percent = -1.0;
  if (platform::CpuQueryCollect() && platform::CpuQueryRead(percent)) {
    EXPECT_GE(percent, 0.0);
    EXPECT_LE(percent, 100.5);
  }
  platform::CpuQueryClose();
  EXPECT_FALSE(platform::CpuQueryCollect());
}

}  // namespace
