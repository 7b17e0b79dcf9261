// The inspections of processes, autostart values, services and tasks: what they
// report, what they hand to the file scan, and what they never touch.
#include "inspect/process_watch.h"
#include "inspect/run_key_scan.h"
#include "inspect/service_scan.h"
#include "scan_fixture.h"

namespace {
constexpr wchar_t kRun[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kRunOnce[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
using platform::RegistryHive;

std::string Bytes(const std::wstring& text) {
  std::string bytes;
  for (const wchar_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>((c >> 8) & 0xFF));
  }
  return bytes + std::string(2, '\0');
}
}  // namespace

class InspectionTest : public ScanTest {};

TEST_F(InspectionTest, StealthProcessesAreImagesMissingFromUserFolders) {
  const std::wstring kept = PutFile(L"C:\\Users\\bob\\AppData\\Local\\Temp\\kept.exe", "MZ");
  standin::AddProcess(0, L"[System Process]", L"C:\\gone\\idle.exe");
  standin::AddProcess(4, L"System", L"C:\\Users\\bob\\AppData\\Local\\Temp\\system.exe");
  standin::AddProcess(100, L"x.exe", L"C:\\Users\\bob\\AppData\\Local\\Temp\\x.exe");  // deleted
  standin::AddProcess(101, L"kept.exe", kept);
  standin::AddProcess(102, L"app.exe", L"C:\\Program Files\\App\\app.exe");  // deleted, but not user-writable
  standin::AddProcess(103, L"Explorer.EXE", L"C:\\Users\\bob\\Downloads\\explorer.exe");
  standin::AddProcess(104, L"lsass.exe", L"C:\\Users\\bob\\Downloads\\lsass.exe");
  standin::AddProcess(105, L"other.exe", L"");  // cannot be queried
  ScanStealthProcesses();

  EXPECT_EQ(ActivityLines(), (std::vector<std::wstring>{
                                 L"[HEURISTIC] Process image missing on disk (user-mode stealth): "
                                 L"C:\\Users\\bob\\AppData\\Local\\Temp\\x.exe PID=100",
                                 L"Possible user-mode stealth process",
                             }));
  EXPECT_EQ(ThreatState.load(), 1);
  EXPECT_EQ(ActiveTarget, L"C:\\Users\\bob\\AppData\\Local\\Temp\\x.exe");
  // The idle and system processes and the critical names are never opened.
  EXPECT_EQ(standin::QueriedProcesses(), (std::vector<uint32_t>{100, 101, 102, 105}));
  EXPECT_TRUE(standin::TerminatedProcesses().empty());
}

TEST_F(InspectionTest, StealthScanEndsOnAnUnexpectedExistenceError) {
  standin::AddProcess(100, L"x.exe", L"C:\\Users\\bob\\AppData\\x.exe");
  standin::FailPath(L"C:\\Users\\bob\\AppData\\x.exe", 1117);  // an I/O error, not "not found"
  EXPECT_FALSE(RunGuarded(L"monitor-proc", ScanStealthProcesses));
  EXPECT_EQ(CountLines(L"[FAULT] "), 1);
  EXPECT_EQ(CountLines(L"[HEURISTIC] "), 0);
}

TEST_F(InspectionTest, RunKeyScanLogsEveryValueAndScansExistingUserPrograms) {
  const std::wstring dropped = PutFile(L"C:\\Users\\bob\\AppData\\Roaming\\upd\\upd.exe", "MZ");
  PutFile(L"C:\\Program Files\\App\\app.exe", "MZ");
  standin::SetRegistryString(RegistryHive::CurrentUser, kRun, L"Updater", L"\"" + dropped + L"\" /quiet");
  standin::SetRegistryValue(RegistryHive::CurrentUser, kRun, L"Flags", 4, std::string("\x01\x00\x00\x00", 4));
  standin::SetRegistryValue(RegistryHive::CurrentUser, kRun, L"Blob", 3, "MZ");
  standin::SetRegistryValue(RegistryHive::CurrentUser, kRun, L"Expand", 2, Bytes(L"%windir%\\x.exe"));
  standin::SetRegistryString(RegistryHive::LocalMachine, kRun, L"App", L"\"C:\\Program Files\\App\\app.exe\"");
  standin::SetRegistryString(RegistryHive::LocalMachine, kRun, L"Unquoted", L"C:\\Program Files\\App\\app.exe /min");
  standin::SetRegistryString(RegistryHive::LocalMachine, kRun, L"Bare", L"ctfmon.exe");
  // Data beyond 1024 bytes ends the key there; the value after it is not seen.
  standin::SetRegistryString(RegistryHive::LocalMachine, kRun, L"Huge", std::wstring(600, L'a'));
  standin::SetRegistryString(RegistryHive::LocalMachine, kRun, L"Hidden", L"\"" + dropped + L"\"");
  EXPECT_TRUE(RunGuarded(L"registry-scan", ScanRunKeys));

  const std::vector<std::wstring> expected = {
      L"[REGISTRY] HKCU Run 'Updater' -> " + dropped,
      L"[REGISTRY] HKCU Run 'Flags' -> ",
      L"[REGISTRY] HKCU Run 'Blob' -> ",
      L"[REGISTRY] HKCU Run 'Expand' -> %windir%\\x.exe",
      L"[REGISTRY] Could not open HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
      L"[REGISTRY] HKLM Run 'App' -> C:\\Program Files\\App\\app.exe",
      L"[REGISTRY] HKLM Run 'Unquoted' -> C:\\Program",
      L"[REGISTRY] HKLM Run 'Bare' -> ctfmon.exe",
      L"[REGISTRY] Could not open HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
  };
  std::vector<std::wstring> registry_lines;
  for (const auto& line : ActivityLines()) {
    if (line.rfind(L"[REGISTRY] ", 0) == 0) registry_lines.push_back(line);
  }
  EXPECT_EQ(registry_lines, expected);
  // Only the dropped updater went through the file scan, once.
  EXPECT_EQ(RunCounters.scanned.load(), 1u);
  {
    std::lock_guard<std::mutex> hold(ScanIndexLock);
    EXPECT_EQ(ScanIndex.count(dropped), 1u);
  }
}

TEST_F(InspectionTest, ServiceScanReportsUserWritableImagesThatExist) {
  const std::wstring image = PutFile(L"C:\\Users\\Bob\\AppData\\Local\\svc\\svc.exe", "MZ");
  standin::AddService(L"EvilSvc", L"\"" + image + L"\" -k run", false);  // stopped ones too
  standin::AddService(L"GoneSvc", L"\"C:\\Users\\Bob\\AppData\\Local\\gone\\gone.exe\"", true);
  standin::AddService(L"AppSvc", L"C:\\Program Files\\App Dir\\svc.exe -k", true);
  EXPECT_TRUE(RunGuarded(L"service-scan", ScanServiceImages));
  EXPECT_TRUE(Logged(L"[SERVICE] User-writable service image: EvilSvc -> " + image));
  EXPECT_EQ(CountLines(L"[SERVICE] "), 1);
  EXPECT_EQ(RunCounters.scanned.load(), 1u);
  EXPECT_TRUE(standin::StoppedServices().empty());
}

TEST_F(InspectionTest, TaskCommands) {
  EXPECT_EQ(FirstTaskCommand("<Task><Exec><Command>\"C:\\a b\\x.exe\"</Command><Command>y</Command>"),
            L"\"C:\\a b\\x.exe\"");
  EXPECT_EQ(FirstTaskCommand("<Command>no end"), L"");
  EXPECT_EQ(FirstTaskCommand("</Command><Command>"), L"");
  EXPECT_EQ(FirstTaskCommand("<Command>\x80\xff</Command>"), std::wstring({wchar_t(0xFF80), wchar_t(0xFFFF)}));
}

TEST_F(InspectionTest, TaskScanReportsFirstCommandsInUserFolders) {
  const std::wstring tasks = L"C:\\Windows\\System32\\Tasks";
  EXPECT_TRUE(RunGuarded(L"task-scan", ScanTaskCommands));  // no task folder: no line at all
  EXPECT_TRUE(ActivityLines().empty());

  const std::wstring dropped = PutFile(L"C:\\Users\\Bob\\Downloads\\a.exe", "MZ");
  PutFile(tasks + L"\\Updater",
          "<?xml version=\"1.0\"?>\r\n<Task><Actions><Exec><Command>\"C:\\Users\\Bob\\Downloads\\a.exe\" /q</Command>"
          "</Exec></Actions></Task>\r\n");
  PutFile(tasks + L"\\Vendor\\Nested", "<Command>C:\\Users\\Bob\\Downloads\\a.exe</Command>");
  PutFile(tasks + L"\\Expanded", "<Command>%LOCALAPPDATA%\\x.exe</Command>");
  PutFile(tasks + L"\\Wide", Bytes(L"<Command>C:\\Users\\Bob\\Downloads\\a.exe</Command>"));
  PutFile(tasks + L"\\Tiny", "<Comm");
  PutFile(tasks + L"\\Gone", "<Command>C:\\Users\\Bob\\Downloads\\gone.exe</Command>");
  EXPECT_TRUE(RunGuarded(L"task-scan", ScanTaskCommands));
  EXPECT_EQ(CountLines(L"[ADMIN] Scheduled task command in user path: " + dropped), 2);
  EXPECT_EQ(CountLines(L"[ADMIN] "), 2);
  EXPECT_EQ(RunCounters.scanned.load(), 1u);  // the second time it is unchanged
  EXPECT_EQ(RunCounters.skipped_unchanged.load(), 1u);
}
