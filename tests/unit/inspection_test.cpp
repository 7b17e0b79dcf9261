// The inspections of processes, autostart values, services and tasks: what they
// report, what they hand to the file scan, and what they never touch.
#include "inspect/process_watch.h"
#include "inspect/run_key_scan.h"
#include "inspect/service_scan.h"
#include "response/disinfection.h"
#include "scan/scans.h"
#include "scan_fixture.h"
#include "task_xml.h"

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

class InspectionTest : public ScanTest {
 protected:
  // The activity lines that begin with the tag, in order (the file scans add their own).
  static std::vector<std::wstring> LinesTagged(const std::wstring& tag) {
    std::vector<std::wstring> tagged;
    for (const auto& line : ActivityLines()) {
      if (line.rfind(tag, 0) == 0) tagged.push_back(line);
    }
    return tagged;
  }
};

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

TEST_F(InspectionTest, StealthScanLogsAnImageItCannotCheckAndGoesOn) {
  standin::AddProcess(100, L"x.exe", L"C:\\Users\\bob\\AppData\\Locked\\x.exe");
  standin::FailPath(L"C:\\Users\\bob\\AppData\\Locked\\x.exe", 5);  // its folder denies listing
  standin::AddProcess(101, L"y.exe", L"\\\\server\\gone\\Users\\Public\\y.exe");
  standin::FailPath(L"\\\\server\\gone\\Users\\Public\\y.exe", 1117);  // an I/O error on a share
  standin::AddProcess(102, L"z.exe", L"C:\\Users\\bob\\AppData\\Local\\Temp\\z.exe");  // deleted
  standin::AddProcess(103, L"app.exe", L"C:\\Program Files\\App\\app.exe");
  standin::FailPath(L"C:\\Program Files\\App\\app.exe", 5);  // never reported, so never tested
  EXPECT_TRUE(RunGuarded(L"monitor-proc", ScanStealthProcesses));

  EXPECT_EQ(ActivityLines(),
            (std::vector<std::wstring>{
                L"[HEURISTIC] Process image could not be checked: C:\\Users\\bob\\AppData\\Locked\\x.exe PID=100 "
                L"(file system error 5 on C:\\Users\\bob\\AppData\\Locked\\x.exe)",
                L"[HEURISTIC] Process image could not be checked: \\\\server\\gone\\Users\\Public\\y.exe PID=101 "
                L"(file system error 1117 on \\\\server\\gone\\Users\\Public\\y.exe)",
                L"[HEURISTIC] Process image missing on disk (user-mode stealth): "
                L"C:\\Users\\bob\\AppData\\Local\\Temp\\z.exe PID=102",
                L"Possible user-mode stealth process",
            }));
  EXPECT_EQ(ActiveTarget, L"C:\\Users\\bob\\AppData\\Local\\Temp\\z.exe");  // an unchecked image is no finding
}

TEST_F(InspectionTest, QuickScanRunsToItsEndPastAProcessImageItCannotCheck) {
  standin::AddProcess(100, L"x.exe", L"C:\\Users\\bob\\AppData\\Locked\\x.exe");
  standin::FailPath(L"C:\\Users\\bob\\AppData\\Locked\\x.exe", 5);
  PutFile(L"C:\\Users\\bob\\Downloads\\notes.txt", "meeting at ten");
  ScanActive.store(true);
  RunQuickScan();

  EXPECT_EQ(CountLines(L"[HEURISTIC] Process image could not be checked: "), 1);
  EXPECT_EQ(RunCounters.scanned.load(), 1u);  // the walk after it ran
  EXPECT_TRUE(Logged(L"[REGISTRY] Could not open HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"));
  EXPECT_EQ(ActivityLines().back(), L"Quick Scan Complete. System Clean.");
  EXPECT_FALSE(ScanActive.load());
  EXPECT_EQ(ScanProgress.load(), 1.0f);
}

TEST_F(InspectionTest, DisinfectionPassRunsToItsEndPastAProcessImageItCannotCheck) {
  standin::AddProcess(100, L"x.exe", L"C:\\Users\\bob\\AppData\\Locked\\x.exe");
  standin::FailPath(L"C:\\Users\\bob\\AppData\\Locked\\x.exe", 5);
  PutFile(L"C:\\Users\\bob\\Downloads\\notes.txt", "meeting at ten");
  RunDisinfectionPass();

  EXPECT_EQ(CountLines(L"[HEURISTIC] Process image could not be checked: "), 1);
  EXPECT_EQ(RunCounters.scanned.load(), 1u);  // the folders after it were scanned
  EXPECT_TRUE(Logged(L"[DISINFECT] Pass finished. New contains this run: 0"));
  EXPECT_EQ(ActivityLines().back(), L"Disinfection pass complete.");
}

TEST_F(InspectionTest, RunKeyScanLogsEveryValueAndScansExistingUserPrograms) {
  const std::wstring dropped = PutFile(L"C:\\Users\\bob\\AppData\\Roaming\\upd\\upd.exe", "MZ");
  const std::wstring expanded = PutFile(L"C:\\Users\\bob\\AppData\\Local\\sync\\sync.exe", "MZ");
  standin::SetEnvironment(L"LOCALAPPDATA", L"C:\\Users\\bob\\AppData\\Local");
  standin::SetEnvironment(L"windir", L"C:\\Windows");
  PutFile(L"C:\\Program Files\\App\\app.exe", "MZ");
  standin::SetRegistryString(RegistryHive::CurrentUser, kRun, L"Updater", L"\"" + dropped + L"\" /quiet");
  standin::SetRegistryValue(RegistryHive::CurrentUser, kRun, L"Flags", 4, std::string("\x01\x00\x00\x00", 4));
  standin::SetRegistryValue(RegistryHive::CurrentUser, kRun, L"Blob", 3, "MZ");
  standin::SetRegistryValue(RegistryHive::CurrentUser, kRun, L"Expand", 2, Bytes(L"%windir%\\x.exe"));
  standin::SetRegistryValue(RegistryHive::CurrentUser, kRun, L"Sync", 2, Bytes(L"\"%LOCALAPPDATA%\\sync\\sync.exe\" -q"));
  standin::SetRegistryString(RegistryHive::LocalMachine, kRun, L"App", L"\"C:\\Program Files\\App\\app.exe\"");
  standin::SetRegistryString(RegistryHive::LocalMachine, kRun, L"Unquoted", L"C:\\Program Files\\App\\app.exe /min");
  standin::SetRegistryString(RegistryHive::LocalMachine, kRun, L"Bare", L"ctfmon.exe");
  EXPECT_TRUE(RunGuarded(L"registry-scan", ScanRunKeys));

  const std::vector<std::wstring> expected = {
      L"[REGISTRY] HKCU Run 'Updater' -> " + dropped,
      L"[REGISTRY] HKCU Run 'Flags' -> ",
      L"[REGISTRY] HKCU Run 'Blob' -> ",
      L"[REGISTRY] HKCU Run 'Expand' -> %windir%\\x.exe",
      L"[REGISTRY] HKCU Run 'Sync' -> %LOCALAPPDATA%\\sync\\sync.exe",
      L"[REGISTRY] Could not open HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
      L"[REGISTRY] HKLM Run 'App' -> C:\\Program Files\\App\\app.exe",
      L"[REGISTRY] HKLM Run 'Unquoted' -> C:\\Program",
      L"[REGISTRY] HKLM Run 'Bare' -> ctfmon.exe",
      L"[REGISTRY] Could not open HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
  };
  EXPECT_EQ(LinesTagged(L"[REGISTRY] "), expected);
  // Only the user's programs went through the file scan, once each; an expandable
  // value's once expanded.
  EXPECT_EQ(RunCounters.scanned.load(), 2u);
  {
    std::lock_guard<std::mutex> hold(ScanIndexLock);
    EXPECT_EQ(ScanIndex.count(dropped), 1u);
    EXPECT_EQ(ScanIndex.count(expanded), 1u);
  }
}

TEST_F(InspectionTest, RunKeyScanGoesOnPastValuesItCannotCheckAndReadsLongOnesWhole) {
  const std::wstring denied = L"C:\\Users\\bob\\AppData\\Locked\\x.exe";
  standin::FailPath(denied, 5);  // its folder denies listing
  const std::wstring long_program = PutFile(L"C:\\Users\\bob\\AppData\\Roaming\\long\\long.exe", "MZ");
  std::wstring long_line = L"\"" + long_program + L"\" --profile=";
  long_line.resize(999, L'p');  // 2,000 bytes with the terminator
  const std::wstring long_name(300, L'n');
  const std::wstring named = PutFile(L"C:\\Users\\bob\\AppData\\Roaming\\named\\named.exe", "MZ");
  const std::wstring last = PutFile(L"C:\\Users\\bob\\AppData\\Roaming\\last\\last.exe", "MZ");
  standin::SetRegistryString(RegistryHive::CurrentUser, kRun, L"Denied", L"\"" + denied + L"\" /s");
  standin::SetRegistryString(RegistryHive::CurrentUser, kRun, L"Long", long_line);
  standin::SetRegistryString(RegistryHive::CurrentUser, kRun, long_name, named);
  // More than any command line Windows starts: named, not read.
  standin::SetRegistryString(RegistryHive::CurrentUser, kRun, L"Huge", std::wstring(40000, L'h'));
  standin::SetRegistryString(RegistryHive::CurrentUser, kRun, L"Last", last);
  EXPECT_TRUE(RunGuarded(L"registry-scan", ScanRunKeys));

  const std::vector<std::wstring> expected = {
      L"[REGISTRY] HKCU Run 'Denied' -> " + denied,
      L"[REGISTRY] HKCU Run 'Denied' could not be checked: " + denied + L" (file system error 5 on " + denied + L")",
      L"[REGISTRY] HKCU Run 'Long' -> " + long_program,
      L"[REGISTRY] HKCU Run '" + long_name + L"' -> " + named,
      L"[REGISTRY] HKCU Run 'Huge' could not be checked: its data is over 65536 bytes",
      L"[REGISTRY] HKCU Run 'Last' -> " + last,
  };
  EXPECT_EQ(LinesTagged(L"[REGISTRY] HKCU Run '"), expected);
  EXPECT_EQ(CountLines(L"[REGISTRY] Could not open "), 3);  // the other locations were still read
  EXPECT_EQ(CountLines(L"[FAULT] "), 0);
  std::lock_guard<std::mutex> hold(ScanIndexLock);
  for (const auto& program : {long_program, named, last}) EXPECT_EQ(ScanIndex.count(program), 1u);
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

TEST_F(InspectionTest, ServiceScanGoesOnPastAnImageItCannotCheck) {
  standin::AddService(L"LockedSvc", L"\"C:\\Users\\Bob\\AppData\\Locked\\svc.exe\" -k", true);
  standin::FailPath(L"C:\\Users\\Bob\\AppData\\Locked\\svc.exe", 5);
  standin::AddService(L"ShareSvc", L"\\\\server\\Users\\Public\\svc.exe", false);
  standin::FailPath(L"\\\\server\\Users\\Public\\svc.exe", 59);  // an unexpected network error
  const std::wstring image = PutFile(L"C:\\Users\\Bob\\AppData\\Local\\svc\\svc.exe", "MZ");
  standin::AddService(L"EvilSvc", L"\"" + image + L"\"", true);
  EXPECT_TRUE(RunGuarded(L"service-scan", ScanServiceImages));

  EXPECT_EQ(LinesTagged(L"[SERVICE] "),
            (std::vector<std::wstring>{
                L"[SERVICE] Service image could not be checked: LockedSvc -> C:\\Users\\Bob\\AppData\\Locked\\svc.exe "
                L"(file system error 5 on C:\\Users\\Bob\\AppData\\Locked\\svc.exe)",
                L"[SERVICE] Service image could not be checked: ShareSvc -> \\\\server\\Users\\Public\\svc.exe "
                L"(file system error 59 on \\\\server\\Users\\Public\\svc.exe)",
                L"[SERVICE] User-writable service image: EvilSvc -> " + image,
            }));
  EXPECT_EQ(RunCounters.scanned.load(), 1u);
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
  // An unset variable stays as written and names no user folder.
  EXPECT_EQ(CountLines(L"[ADMIN] Scheduled task command in user path: " + dropped), 3);
  EXPECT_EQ(CountLines(L"[ADMIN] "), 3);
  EXPECT_EQ(RunCounters.scanned.load(), 1u);  // later times it is unchanged
  EXPECT_EQ(RunCounters.skipped_unchanged.load(), 2u);
}

TEST_F(InspectionTest, TaskScanReadsDefinitionsAsWindowsStoresThem) {
  const std::wstring tasks = L"C:\\Windows\\System32\\Tasks";
  standin::SetEnvironment(L"LOCALAPPDATA", L"C:\\Users\\bob\\AppData\\Local");
  standin::SetEnvironment(L"windir", L"C:\\Windows");
  const std::wstring program = PutFile(L"C:\\Users\\bob\\AppData\\Local\\Updater\\update.exe", "MZ");
  PutFile(L"C:\\Windows\\System32\\defrag.exe", "MZ");
  PutFile(tasks + L"\\Updater", Utf16Le(WindowsTaskXml(L"%LOCALAPPDATA%\\Updater\\update.exe", L"/silent"), true));
  PutFile(tasks + L"\\Microsoft\\Windows\\Defrag\\ScheduledDefrag",
          Utf16Le(WindowsTaskXml(L"%windir%\\system32\\defrag.exe", L"-c -h -o -$"), true));
  EXPECT_TRUE(RunGuarded(L"task-scan", ScanTaskCommands));

  EXPECT_EQ(LinesTagged(L"[ADMIN] "),
            std::vector<std::wstring>{L"[ADMIN] Scheduled task command in user path: " + program});
  std::lock_guard<std::mutex> hold(ScanIndexLock);
  EXPECT_EQ(ScanIndex.count(program), 1u);
}

TEST_F(InspectionTest, TaskScanGoesOnPastFoldersAndFilesItCannotCheck) {
  const std::wstring tasks = L"C:\\Windows\\System32\\Tasks";
  const std::wstring first = PutFile(L"C:\\Users\\bob\\Downloads\\first.exe", "MZ");
  const std::wstring last = PutFile(L"C:\\Users\\bob\\Downloads\\last.exe", "MZ");
  PutFile(tasks + L"\\A\\First", AsciiBytes(WindowsTaskXml(first, L"")));
  // A task folder deleted between the listing and its walk.
  PutFile(tasks + L"\\Gone\\Task", AsciiBytes(WindowsTaskXml(first, L"")));
  standin::FailPath(tasks + L"\\Gone", 3);
  PutFile(tasks + L"\\Locked", Utf16Le(WindowsTaskXml(L"C:\\Users\\bob\\AppData\\Locked\\x.exe", L""), true));
  standin::FailPath(L"C:\\Users\\bob\\AppData\\Locked\\x.exe", 5);
  PutFile(tasks + L"\\Unreadable", Utf16Le(WindowsTaskXml(first, L""), true));
  standin::FailReadsAfter(tasks + L"\\Unreadable", 100);
  PutFile(tasks + L"\\Z\\Last", Utf16Le(WindowsTaskXml(last, L""), true));
  EXPECT_TRUE(RunGuarded(L"task-scan", ScanTaskCommands));

  EXPECT_EQ(LinesTagged(L"[ADMIN] "),
            (std::vector<std::wstring>{
                L"[ADMIN] Scheduled task command in user path: " + first,
                L"[ADMIN] Scheduled task folder could not be checked: " + tasks + L"\\Gone (file system error 3)",
                L"[ADMIN] Scheduled task could not be checked: " + tasks +
                    L"\\Locked -> C:\\Users\\bob\\AppData\\Locked\\x.exe "
                    L"(file system error 5 on C:\\Users\\bob\\AppData\\Locked\\x.exe)",
                L"[ADMIN] Scheduled task could not be checked: " + tasks + L"\\Unreadable (it cannot be read)",
                L"[ADMIN] Scheduled task command in user path: " + last,
            }));
  EXPECT_EQ(RunCounters.scanned.load(), 2u);
}

TEST_F(InspectionTest, TaskScanReadsABoundedHeadOfEachFile) {
  const std::wstring task =
      PutFile(L"C:\\Windows\\System32\\Tasks\\Padded",
              "<Task>" + std::string(3u << 20, ' ') + "<Command>C:\\Users\\bob\\Downloads\\a.exe</Command>");
  PutFile(L"C:\\Users\\bob\\Downloads\\a.exe", "MZ");
  EXPECT_TRUE(RunGuarded(L"task-scan", ScanTaskCommands));
  EXPECT_LE(standin::BytesReadOf(task), (1u << 20) + 65536);
  EXPECT_TRUE(ActivityLines().empty());  // its command lies past what is read
}
