// The Windows layer under the response to a threat: moving, copying and deleting
// files, finding and ending processes, starting hidden children, services, the
// shutdown privilege and the wireless hold, on the real system.
#include <windows.h>

#include <gtest/gtest.h>

#include "temp_folder.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <cwctype>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/processes.h"
#include "platform/restart.h"
#include "platform/services.h"
#include "platform/wlan.h"

namespace {

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

bool EndsWithNoCase(const std::wstring& text, const std::wstring& tail) {
  return text.size() >= tail.size() && Lower(text.substr(text.size() - tail.size())) == Lower(tail);
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string Content(const std::wstring& path) {
  std::string bytes;
  return platform::ReadFileBytes(path, bytes) ? bytes : std::string("<missing>");
}

std::wstring SystemDirectory() {
  wchar_t buffer[MAX_PATH];
  const UINT length = GetSystemDirectoryW(buffer, MAX_PATH);
  return std::wstring(buffer, length);
}

// Polls in short steps, for children that finish on their own time.
template <typename Condition>
bool WaitUntil(Condition condition, int max_ms = 10000) {
  for (int waited = 0; waited < max_ms; waited += 20) {
    if (condition()) return true;
    Sleep(20);
  }
  return condition();
}

class ResponsePlatformWin32 : public TempFolderTest {
 protected:
  void TearDown() override {
    for (PROCESS_INFORMATION& child : children_) {
      TerminateProcess(child.hProcess, 0);
      WaitForSingleObject(child.hProcess, 5000);
      CloseHandle(child.hThread);
      CloseHandle(child.hProcess);
    }
    if (!other_drive_.empty()) RemoveTree(other_drive_);
    TempFolderTest::TearDown();
  }

  std::wstring Path(const std::wstring& name) const { return root_ + L"\\" + name; }

  std::wstring Write(const std::wstring& path, const std::string& bytes) {
    EXPECT_TRUE(platform::WriteFileBytes(path, bytes)) << Narrow(path);
    return path;
  }

  // A folder on Z:, which Wine maps to the Unix root: another drive than the temp folder.
  std::wstring OtherDriveFolder() {
    const char* name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    other_drive_ =
        L"Z:\\tmp\\kav-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::wstring(name, name + std::strlen(name));
    RemoveTree(other_drive_);
    EXPECT_TRUE(CreateDirectoryW(other_drive_.c_str(), nullptr)) << GetLastError();
    return other_drive_;
  }

  // A copy of the system's ping under a name of our choosing: a console program that
  // stays alive about a second per echo and is not in use by anything else.
  std::wstring CopyPingAs(const std::wstring& name) {
    const std::wstring copy = Path(name);
    EXPECT_TRUE(platform::MakeDirectories(copy.substr(0, copy.rfind(L'\\'))));
    EXPECT_TRUE(CopyFileW((SystemDirectory() + L"\\ping.exe").c_str(), copy.c_str(), TRUE)) << GetLastError();
    return copy;
  }

  // Starts the image with arguments; the fixture ends and releases it afterwards.
  PROCESS_INFORMATION StartChild(const std::wstring& image, const std::wstring& arguments) {
    std::wstring command = L"\"" + image + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION child{};
    const BOOL started = CreateProcessW(image.c_str(), command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                                        nullptr, nullptr, &startup, &child);
    EXPECT_TRUE(started) << GetLastError();
    if (started) children_.push_back(child);
    return child;
  }

  // A long-lived child named evil.exe, in a folder of its own.
  PROCESS_INFORMATION StartEvil(const std::wstring& folder = L"run") {
    return StartChild(CopyPingAs(folder + L"\\evil.exe"), L"-n 30 127.0.0.1");
  }

  // Ends processes of this image name that the code under test started and that
  // the fixture does not know about.
  static void EndStrays(const std::wstring& exe_name) {
    std::vector<platform::ProcessEntry> processes;
    if (!platform::ListProcesses(processes)) return;
    for (const auto& process : processes) {
      if (Lower(process.exe_name) != Lower(exe_name)) continue;
      const HANDLE handle = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, process.pid);
      if (!handle) continue;
      TerminateProcess(handle, 0);
      WaitForSingleObject(handle, 5000);
      CloseHandle(handle);
    }
  }

  std::wstring Cmd() const { return L"\"" + SystemDirectory() + L"\\cmd.exe\""; }

  std::vector<PROCESS_INFORMATION> children_;
  std::wstring other_drive_;
};

// ---- Files ----

TEST_F(ResponsePlatformWin32, MoveRenamesWithinAFolder) {
  const std::wstring from = Write(Path(L"found.exe"), "MZ payload");
  const std::wstring to = Path(L"found.exe.quarantined");
  ASSERT_TRUE(platform::MoveFileTo(from, to));
  EXPECT_EQ(Content(to), "MZ payload");
  EXPECT_FALSE(Exists(from));
}

TEST_F(ResponsePlatformWin32, MoveNeverReplacesAndNeedsASourceAndAFolder) {
  struct Case {
    const char* what;
    std::wstring from;
    std::wstring to;
    bool source_exists;
    bool target_exists;
  };
  const Case cases[] = {
      {"target exists", Path(L"a.bin"), Path(L"a-target.bin"), true, true},
      {"source missing", Path(L"b.bin"), Path(L"b-target.bin"), false, false},
      {"target folder missing", Path(L"c.bin"), Path(L"no\\such\\c.bin"), true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.source_exists) Write(c.from, "source bytes");
    if (c.target_exists) Write(c.to, "target bytes");
    EXPECT_FALSE(platform::MoveFileTo(c.from, c.to));
    EXPECT_EQ(Content(c.from), c.source_exists ? "source bytes" : "<missing>");
    EXPECT_EQ(Content(c.to), c.target_exists ? "target bytes" : "<missing>");
  }
}

TEST_F(ResponsePlatformWin32, MoveToAnotherDriveLosesNothing) {
  const std::wstring from = Write(Path(L"travel.bin"), std::string(70000, 't') + "end");
  const std::wstring to = OtherDriveFolder() + L"\\travel.bin";
  const bool moved = platform::MoveFileTo(from, to);
  std::printf("  note: MoveFileW C: -> Z:\\tmp %s\n", moved ? "succeeded" : "failed");
  RecordProperty("move_to_other_drive", moved ? "succeeded" : "failed");
  if (moved) {
    EXPECT_EQ(Content(to), std::string(70000, 't') + "end");
    EXPECT_FALSE(Exists(from));
  } else {
    EXPECT_EQ(Content(from), std::string(70000, 't') + "end");
    EXPECT_FALSE(Exists(to));
  }
}

TEST_F(ResponsePlatformWin32, CopyOverReplacesOnAnotherDriveAndKeepsTheSource) {
  const std::wstring folder = OtherDriveFolder();
  const std::wstring from = Write(Path(L"backup.bin"), "new");
  struct Case {
    const char* what;
    std::wstring from;
    std::wstring to;
    const char* before;  // null: no file at the destination
    bool copied;
  };
  const Case cases[] = {
      {"over a longer file", from, folder + L"\\existing.bin", "old and much longer", true},
      {"to a new file", from, folder + L"\\fresh.bin", nullptr, true},
      {"from a missing file", Path(L"missing.bin"), folder + L"\\kept.bin", "kept", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.before) Write(c.to, c.before);
    EXPECT_EQ(platform::CopyFileOver(c.from, c.to), c.copied);
    EXPECT_EQ(Content(c.to), c.copied ? "new" : c.before);
  }
  EXPECT_EQ(Content(from), "new");
}

TEST_F(ResponsePlatformWin32, NormalAttributesLetAProtectedFileBeDeleted) {
  const std::wstring file = Write(Path(L"stubborn.exe"), "x");
  ASSERT_TRUE(
      SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
  EXPECT_FALSE(platform::DeleteFileOnce(file));  // read-only files refuse deletion
  EXPECT_TRUE(Exists(file));

  ASSERT_TRUE(platform::SetNormalAttributes(file));
  const DWORD attributes = GetFileAttributesW(file.c_str());
  EXPECT_EQ(attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM), 0u) << attributes;
  EXPECT_TRUE(platform::DeleteFileOnce(file));
  EXPECT_FALSE(Exists(file));
}

TEST_F(ResponsePlatformWin32, NothingToDeleteOrNormalise) {
  ASSERT_TRUE(CreateDirectoryW(Path(L"folder").c_str(), nullptr));
  for (const std::wstring& path : {Path(L"missing.exe"), Path(L"no\\such.exe")}) {
    SCOPED_TRACE(Narrow(path));
    EXPECT_FALSE(platform::DeleteFileOnce(path));
    EXPECT_FALSE(platform::SetNormalAttributes(path));
  }
  EXPECT_FALSE(platform::DeleteFileOnce(Path(L"folder")));  // a file deletion never takes a folder
  EXPECT_TRUE(Exists(Path(L"folder")));
}

// ---- Processes ----

TEST_F(ResponsePlatformWin32, SnapshotListsTheChildAndThisProcess) {
  EXPECT_EQ(platform::CurrentProcessId(), GetCurrentProcessId());
  const PROCESS_INFORMATION child = StartEvil();
  ASSERT_NE(child.hProcess, nullptr);

  std::vector<platform::ProcessEntry> processes = {{1, L"stale.exe"}};
  ASSERT_TRUE(platform::ListProcesses(processes));
  const auto find = [&](uint32_t pid) {
    return std::find_if(processes.begin(), processes.end(), [pid](const auto& p) { return p.pid == pid; });
  };
  const auto evil = find(child.dwProcessId);
  ASSERT_NE(evil, processes.end());
  EXPECT_EQ(Lower(evil->exe_name), L"evil.exe");
  const auto self = find(GetCurrentProcessId());
  ASSERT_NE(self, processes.end());
  EXPECT_TRUE(EndsWithNoCase(self->exe_name, L".exe")) << Narrow(self->exe_name);
  EXPECT_TRUE(
      std::none_of(processes.begin(), processes.end(), [](const auto& p) { return p.exe_name == L"stale.exe"; }));

  std::wstring image;
  ASSERT_TRUE(platform::ProcessImagePath(child.dwProcessId, image));
  EXPECT_TRUE(EndsWithNoCase(image, L"\\evil.exe")) << Narrow(image);
  EXPECT_EQ(image.find(L'\0'), std::wstring::npos);
}

TEST_F(ResponsePlatformWin32, TerminationEndsTheChildWithTheGivenCode) {
  for (const uint32_t code : {1u, 42u}) {
    SCOPED_TRACE(code);
    const PROCESS_INFORMATION child = StartEvil(L"run" + std::to_wstring(code));
    ASSERT_NE(child.hProcess, nullptr);
    ASSERT_EQ(WaitForSingleObject(child.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    ASSERT_TRUE(platform::TerminateProcessById(child.dwProcessId, code));
    ASSERT_EQ(WaitForSingleObject(child.hProcess, 1000), WAIT_OBJECT_0);
    DWORD exit_code = 0;
    ASSERT_TRUE(GetExitCodeProcess(child.hProcess, &exit_code));
    EXPECT_EQ(exit_code, code);
  }
}

TEST_F(ResponsePlatformWin32, ProcessesThatAreNotThere) {
  // A child that ran and ended leaves an id that names nothing once every handle to it is gone.
  const PROCESS_INFORMATION ended = StartChild(SystemDirectory() + L"\\cmd.exe", L"/c exit 0");
  ASSERT_NE(ended.hProcess, nullptr);
  ASSERT_EQ(WaitForSingleObject(ended.hProcess, 10000), WAIT_OBJECT_0);
  CloseHandle(ended.hThread);
  CloseHandle(ended.hProcess);
  children_.clear();
  // Whoever else held a handle to it (Wine's console host, for half a second) keeps the id alive.
  const DWORD ended_pid = ended.dwProcessId;
  const bool released = WaitUntil([&] {
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, ended_pid);
    if (process) CloseHandle(process);
    return process == nullptr;
  });

  std::vector<platform::ProcessEntry> processes;
  ASSERT_TRUE(platform::ListProcesses(processes));
  std::set<uint32_t> listed;
  for (const auto& process : processes) listed.insert(process.pid);
  uint32_t unlisted = 0x40000;
  while (listed.count(unlisted)) unlisted += 4;

  struct Case {
    const char* what;
    uint32_t pid;
  };
  const Case cases[] = {{"ended child", static_cast<uint32_t>(ended_pid)}, {"never listed", unlisted}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.pid == ended_pid && (!released || listed.count(c.pid))) continue;  // still held, or given out again
    EXPECT_FALSE(platform::TerminateProcessById(c.pid, 1));
    std::wstring image = L"untouched";
    EXPECT_FALSE(platform::ProcessImagePath(c.pid, image));
    EXPECT_EQ(image, L"untouched");
  }
}

// ---- Hidden children ----

TEST_F(ResponsePlatformWin32, SystemFolderHoldsTheCommandInterpreter) {
  const std::wstring folder = platform::SystemFolder();
  EXPECT_TRUE(EndsWithNoCase(folder, L"\\system32")) << Narrow(folder);
  EXPECT_EQ(Lower(folder), Lower(SystemDirectory()));
  EXPECT_TRUE(Exists(folder + L"\\cmd.exe"));
}

TEST_F(ResponsePlatformWin32, RunAndWaitWaitsForTheChild) {
  const std::wstring marker = Path(L"waited.txt");
  ASSERT_TRUE(platform::RunHiddenAndWait(Cmd() + L" /c echo done> \"" + marker + L"\"", 30000));
  EXPECT_EQ(Content(marker), "done\r\n");  // there at once: the call waited for cmd to write it
  EXPECT_TRUE(platform::RunHiddenAndWait(Cmd() + L" /c exit 3", 30000));

  for (const std::wstring& missing : {L"\"" + Path(L"missing.exe") + L"\" /x", std::wstring()}) {
    SCOPED_TRACE(Narrow(missing));
    EXPECT_FALSE(platform::RunHiddenAndWait(missing, 1000));
  }
}

TEST_F(ResponsePlatformWin32, RunAndWaitGivesUpAtTheTimeout) {
  const std::wstring waiter = CopyPingAs(L"waiter.exe");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(platform::RunHiddenAndWait(L"\"" + waiter + L"\" -n 30 127.0.0.1", 300));
  const auto waited =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(waited, 250);
  EXPECT_LT(waited, 10000);  // the child itself lives for about 30 s
  EndStrays(L"waiter.exe");
}

TEST_F(ResponsePlatformWin32, StartHiddenRunsInTheGivenFolderWithoutWaiting) {
  ASSERT_TRUE(platform::StartHidden(Cmd() + L" /c echo here> started.txt", root_));
  EXPECT_TRUE(WaitUntil([&] { return Content(Path(L"started.txt")) == "here\r\n"; }));

  const std::wstring waiter = CopyPingAs(L"waiter.exe");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(platform::StartHidden(L"\"" + waiter + L"\" -n 30 127.0.0.1", root_));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EndStrays(L"waiter.exe");

  struct Case {
    const char* what;
    std::wstring command;
    std::wstring folder;
  };
  const Case cases[] = {
      {"missing program", L"\"" + Path(L"missing.exe") + L"\"", root_},
      {"missing folder", Cmd() + L" /c exit 0", Path(L"no\\such")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(platform::StartHidden(c.command, c.folder));
  }
}

TEST_F(ResponsePlatformWin32, StartProgramRunsTheProgramItNamesInTheGivenFolder) {
  // The command line's first token names another program: the application name wins,
  // so nothing is looked up by the name in the line.
  const std::wstring cmd = SystemDirectory() + L"\\cmd.exe";
  ASSERT_EQ(platform::StartProgram(cmd, L"\"decoy.exe\" /c echo named> started.txt", root_,
                                   platform::ProgramWindow::Hidden),
            0u);
  EXPECT_TRUE(WaitUntil([&] { return Content(Path(L"started.txt")) == "named\r\n"; }));

  // Arguments reach it as written, quotes and all.
  ASSERT_EQ(platform::StartProgram(cmd, L"\"" + cmd + L"\" /c echo \"a b\"> quoted.txt", root_,
                                   platform::ProgramWindow::Hidden),
            0u);
  EXPECT_TRUE(WaitUntil([&] { return Content(Path(L"quoted.txt")) == "\"a b\"\r\n"; }));

  EXPECT_EQ(platform::StartProgram(Path(L"missing.exe"), L"\"" + Path(L"missing.exe") + L"\"", root_,
                                   platform::ProgramWindow::Hidden),
            static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
  EXPECT_NE(platform::StartProgram(cmd, L"\"" + cmd + L"\" /c exit 0", Path(L"no\\such"),
                                   platform::ProgramWindow::Hidden),
            0u);
}

// ---- Services ----

struct Visited {
  std::wstring name;
  std::wstring image_path;
};

class ResponsePlatformWin32Services : public ::testing::Test {
 protected:
  static SERVICE_STATUS StatusOf(const std::wstring& name) {
    SERVICE_STATUS status{};
    const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    const SC_HANDLE service = manager ? OpenServiceW(manager, name.c_str(), SERVICE_QUERY_STATUS) : nullptr;
    if (service) QueryServiceStatus(service, &status);
    if (service) CloseServiceHandle(service);
    if (manager) CloseServiceHandle(manager);
    return status;
  }

  // Names of every service of the given types, straight from the manager.
  static std::set<std::wstring> ListedNames(DWORD types) {
    std::set<std::wstring> names;
    const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ENUMERATE_SERVICE);
    if (!manager) return names;
    // Grown until the whole list fits: Wine's first size answer can fall short.
    std::vector<unsigned char> buffer(64 * 1024);
    for (int tries = 0; tries < 8; ++tries) {
      DWORD needed = 0;
      DWORD returned = 0;
      DWORD resume = 0;
      if (EnumServicesStatusExW(manager, SC_ENUM_PROCESS_INFO, types, SERVICE_STATE_ALL, buffer.data(),
                                static_cast<DWORD>(buffer.size()), &needed, &returned, &resume, nullptr)) {
        const auto* entries = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSW*>(buffer.data());
        for (DWORD i = 0; i < returned; ++i) names.insert(entries[i].lpServiceName);
        break;
      }
      buffer.resize(buffer.size() * 2 + needed);
    }
    CloseServiceHandle(manager);
    return names;
  }

  static std::vector<Visited> Visit(uint32_t access) {
    std::vector<Visited> visited;
    platform::VisitWin32Services(
        access, [&](const std::wstring& name, const std::wstring& image_path, const std::function<bool()>&) {
          visited.push_back({name, image_path});
        });
    return visited;
  }
};

TEST_F(ResponsePlatformWin32Services, EveryWin32ServiceWithAnImageIsVisitedOnce) {
  // A new prefix may still be registering services: a name counts when either the
  // listing before or the one after the visit has it as a Win32 service.
  std::set<std::wstring> win32 = ListedNames(SERVICE_WIN32);
  const std::vector<Visited> visited = Visit(platform::kServiceQueryConfig);
  ASSERT_FALSE(visited.empty());
  std::set<std::wstring> names;
  bool saw_stopped = false;
  for (const Visited& service : visited) {
    SCOPED_TRACE(Narrow(service.name));
    EXPECT_FALSE(service.name.empty());
    EXPECT_FALSE(service.image_path.empty());
    EXPECT_TRUE(names.insert(service.name).second);
    const SERVICE_STATUS status = StatusOf(service.name);
    // Wine's driver hosts ("Winedevice1", ...) come and go: one visited may be gone
    // by now, and then nothing can be asked of it.
    if (status.dwServiceType == 0) continue;
    EXPECT_NE(status.dwServiceType & SERVICE_WIN32, 0u) << status.dwServiceType;
    saw_stopped = saw_stopped || status.dwCurrentState == SERVICE_STOPPED;
  }
  EXPECT_TRUE(saw_stopped);  // stopped services are visited too
  for (const std::wstring& driver : ListedNames(SERVICE_DRIVER)) {
    SCOPED_TRACE(Narrow(driver));
    EXPECT_EQ(names.count(driver), 0u);
  }
  for (const std::wstring& name : ListedNames(SERVICE_WIN32)) win32.insert(name);
  // Wine's listing can leave out the event log while it is starting (any test that
  // opened a log starts it); such a name must still be a Win32 service by its status.
  for (const std::wstring& name : names) {
    EXPECT_TRUE(win32.count(name) == 1 || (StatusOf(name).dwServiceType & SERVICE_WIN32) != 0) << Narrow(name);
  }
}

TEST_F(ResponsePlatformWin32Services, StopNeedsTheRightToStop) {
  // A service started here so that there is something running to stop; Wine's
  // update service is a stub that does nothing but wait for the stop.
  const std::wstring target = L"wuauserv";
  {
    const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    ASSERT_NE(manager, nullptr);
    const SC_HANDLE service = OpenServiceW(manager, target.c_str(), SERVICE_START);
    const bool started =
        service && (StartServiceW(service, 0, nullptr) || GetLastError() == ERROR_SERVICE_ALREADY_RUNNING);
    if (service) CloseServiceHandle(service);
    CloseServiceHandle(manager);
    if (!started) GTEST_SKIP() << "cannot start " << Narrow(target);
  }
  ASSERT_TRUE(WaitUntil([&] { return StatusOf(target).dwCurrentState == SERVICE_RUNNING; }));

  struct Case {
    const char* what;
    uint32_t access;
    bool stops;
  };
  const Case cases[] = {
      {"query only", platform::kServiceQueryConfig, false},
      {"query and stop", platform::kServiceQueryConfig | platform::kServiceStop, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    int seen = 0;
    platform::VisitWin32Services(c.access,
                                 [&](const std::wstring& name, const std::wstring&, const std::function<bool()>& stop) {
                                   if (name != target) return;
                                   ++seen;
                                   EXPECT_EQ(stop(), c.stops);
                                 });
    EXPECT_EQ(seen, 1);
    const DWORD expected = c.stops ? SERVICE_STOPPED : SERVICE_RUNNING;
    EXPECT_TRUE(WaitUntil([&] { return StatusOf(target).dwCurrentState == expected; }));
  }
}

// ---- Restart privilege and the wireless hold ----

TEST(ResponsePlatformWin32Privileges, ShutdownPrivilegeIsEnabledWhenGranted) {
  const bool enabled = platform::EnableShutdownPrivilege();
  std::printf("  note: EnableShutdownPrivilege -> %s\n", enabled ? "true" : "false");
  RecordProperty("shutdown_privilege", enabled ? "true" : "false");
  if (!enabled) return;
  // What the token itself says, independent of the call's own reading.
  LUID shutdown{};
  ASSERT_TRUE(LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &shutdown));
  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  PRIVILEGE_SET check{};
  check.PrivilegeCount = 1;
  check.Privilege[0].Luid = shutdown;
  BOOL held = FALSE;
  EXPECT_TRUE(PrivilegeCheck(token, &check, &held));
  EXPECT_TRUE(held);
  CloseHandle(token);
}

TEST(ResponsePlatformWin32Wlan, WithoutAClientNothingIsDisconnected) {
  const bool opened = platform::WlanOpenAndClose();
  std::wstring profile;
  std::wstring guid;
  const bool disconnected = platform::WlanDisconnectFirstConnected(profile, guid);
  std::printf("  note: WlanOpenAndClose -> %s, WlanDisconnectFirstConnected -> %s (profile '%s', interface '%s')\n",
              opened ? "true" : "false", disconnected ? "true" : "false", Narrow(profile).c_str(),
              Narrow(guid).c_str());
  if (!opened) EXPECT_FALSE(disconnected);
  if (guid.empty()) EXPECT_TRUE(profile.empty());
  if (!guid.empty()) EXPECT_EQ(guid.size(), 38u) << Narrow(guid);  // {8-4-4-4-12}
}

}  // namespace
