// The official repair tools, the admin extended scan and the disinfection pass.
#include <algorithm>

#include "app/guarded_step.h"
#include "inspect/repair_tools.h"
#include "response/disinfection.h"
#include "response/threat_manager.h"
#include "scan_fixture.h"

namespace {
constexpr wchar_t kSystem[] = L"C:\\Windows\\System32";
}

class RepairTest : public ScanTest {
 protected:
  std::wstring Tool(const std::wstring& name) { return PutFile(std::wstring(kSystem) + L"\\" + name, "MZ"); }
  void PutBootFiles() {
    for (const wchar_t* file : {L"ntoskrnl.exe", L"drivers\\ntfs.sys", L"drivers\\disk.sys", L"winload.exe"}) {
      PutFile(std::wstring(kSystem) + L"\\" + file, "MZ");
    }
  }
};

TEST_F(RepairTest, UserModeRefusesEveryRepair) {
  Tool(L"sfc.exe");
  standin::ScriptTool(std::wstring(kSystem) + L"\\sfc.exe", {}, 0);
  EXPECT_FALSE(RunOfficialTool(L"sfc.exe", L"/scannow", L"System File Checker"));
  RunAdminExtendedScan();
  OpenWindowsRecovery();
  EXPECT_EQ(ActivityLines(), (std::vector<std::wstring>{
                                 L"[REPAIR] Admin Mode required for official Windows repair tools.",
                                 L"[ADMIN] Extended scan skipped (user mode).",
                                 L"[REPAIR] Admin Mode required to open Windows Recovery.",
                             }));
  EXPECT_TRUE(standin::ChildCommandLines().empty());
}

TEST_F(RepairTest, ToolOutputIsShownByTheLastFourHundredBytes) {
  AdminMode = true;
  const std::wstring sfc = Tool(L"sfc.exe");
  std::string second(300, 'b');
  second[100] = '\x80';  // output byte 400, shown as a signed 8-bit character
  standin::ScriptTool(sfc, {std::string(300, 'a'), second, std::string(400, 'c')}, 0xC0000005u);
  EXPECT_FALSE(RunOfficialTool(L"sfc.exe", L"/scannow", L"System File Checker"));

  std::wstring shown = std::wstring(100, L'a') + std::wstring(300, L'b');
  shown[200] = wchar_t(0xFF80);
  EXPECT_EQ(ActivityLines(), (std::vector<std::wstring>{
                                 L"[REPAIR] Starting official tool: System File Checker",
                                 L"[REPAIR] " + shown,
                                 L"[REPAIR] System File Checker finished, exit=3221225477",
                             }));
  EXPECT_EQ(standin::ChildCommandLines(), (std::vector<std::wstring>{L"\"" + sfc + L"\" /scannow"}));
  EXPECT_EQ(standin::ToolTimeouts(), (std::vector<uint64_t>{kOfficialToolTimeLimitMs}));
}

TEST_F(RepairTest, ToolRunsThatGoWrong) {
  AdminMode = true;
  // Missing from the system folder.
  EXPECT_FALSE(RunOfficialTool(L"dism.exe", L"/Online", L"DISM RestoreHealth"));
  // There, but cannot be started.
  Tool(L"dism.exe");
  EXPECT_FALSE(RunOfficialTool(L"dism.exe", L"/Online", L"DISM RestoreHealth"));
  // Never ends: ended at the time limit, and the line says so.
  standin::ScriptTool(Tool(L"sfc.exe"), {"Beginning system scan."}, 0, true);
  EXPECT_FALSE(RunOfficialTool(L"sfc.exe", L"/scannow", L"System File Checker"));
  // Silent and successful.
  standin::ScriptTool(std::wstring(kSystem) + L"\\dism.exe", {std::string(300, 'x')}, 0);
  EXPECT_TRUE(RunOfficialTool(L"dism.exe", L"/Online", L"DISM RestoreHealth"));
  EXPECT_EQ(ActivityLines(), (std::vector<std::wstring>{
                                 L"[REPAIR] Official tool not found: C:\\Windows\\System32\\dism.exe",
                                 L"[REPAIR] Starting official tool: DISM RestoreHealth",
                                 L"[REPAIR] Could not start dism.exe",
                                 L"[REPAIR] Starting official tool: System File Checker",
                                 L"[REPAIR] System File Checker did not finish within 120 minutes and was ended, "
                                 L"exit=1",
                                 L"[REPAIR] Starting official tool: DISM RestoreHealth",
                                 L"[REPAIR] DISM RestoreHealth finished, exit=0",
                             }));
  // No pipe: quietly false.
  ResetActivityState();
  standin::SetToolPipeWorks(false);
  EXPECT_FALSE(RunOfficialTool(L"dism.exe", L"/Online", L"DISM RestoreHealth"));
  EXPECT_TRUE(ActivityLines().empty());
}

TEST_F(RepairTest, AToolThatNeverStopsWritingIsHeldToItsLimit) {
  AdminMode = true;
  const std::wstring sfc = Tool(L"sfc.exe");
  const struct {
    const char* what;
    standin::ToolWriter writer;
    std::wstring last_line;
    uint64_t least_ms, most_ms;  // on the clock, from the start to the end of the run
  } cases[] = {
      {"the tool itself writes on", standin::ToolWriter::Tool,
       L"[REPAIR] System File Checker did not finish within 120 minutes and was ended, exit=1",
       kOfficialToolTimeLimitMs, kOfficialToolTimeLimitMs + 1000},
      // The tool ended with its code at once; only its last output is waited for.
      {"a child holds the pipe open after the tool ended", standin::ToolWriter::Child,
       L"[REPAIR] System File Checker finished, exit=0", 0, 5000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ResetActivityState();
    standin::ScriptChattyTool(sfc, {"Verification 12% complete.\r"}, 0, c.writer);
    const uint64_t start = standin::Now();
    EXPECT_EQ(RunOfficialTool(L"sfc.exe", L"/scannow", L"System File Checker"),
              c.writer == standin::ToolWriter::Child);
    const uint64_t took = standin::Now() - start;
    EXPECT_GE(took, c.least_ms);
    EXPECT_LE(took, c.most_ms);
    EXPECT_EQ(ActivityLines().back(), c.last_line);
    const auto lines = ActivityLines();  // its output was read meanwhile
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::wstring& line) {
      return line.find(L"Verification 12% complete.") != std::wstring::npos;
    }));
  }
}

namespace {
std::string Utf16(const std::wstring& text, bool with_mark) {
  std::string bytes = with_mark ? std::string("\xFF\xFE") : std::string();
  for (const wchar_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>((c >> 8) & 0xFF));
  }
  return bytes;
}
}  // namespace

TEST_F(RepairTest, ToolOutputInUtf16IsDecodedAndEightBitOutputKept) {
  const std::wstring sfc_text =
      L"\r\nBeginning system scan.  This process will take some time.\r\n\r\nWindows Resource Protection found "
      L"corrupt files and successfully repaired them.\r\n";
  const std::wstring umlaut = L"\x00dcberpr\x00fcfung 100 % abgeschlossen.\r\n";
  const struct {
    const char* what;
    std::string bytes;
    std::wstring text;
  } cases[] = {
      {"UTF-16 with a byte-order mark", Utf16(sfc_text, true), sfc_text},
      {"UTF-16 without a mark, as SFC writes into a pipe", Utf16(sfc_text, false), sfc_text},
      {"UTF-16 beyond ASCII", Utf16(umlaut, false), umlaut},
      {"8-bit text", "Deployment Image Servicing and Management tool\r\nVersion: 10.0", 
       L"Deployment Image Servicing and Management tool\r\nVersion: 10.0"},
      {"output shorter than the look at its form", "Done.", L"Done."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    for (const std::size_t piece : {std::size_t{1}, std::size_t{3}, std::size_t{511}}) {  // reads of any size
      ToolOutputDecoder decoder;
      std::wstring text;
      for (std::size_t at = 0; at < c.bytes.size(); at += piece) text += decoder.Add(std::string_view(c.bytes).substr(at, piece));
      text += decoder.Finish();
      EXPECT_EQ(text, c.text) << "reads of " << piece;
    }
  }

  // In the activity log, SFC's UTF-16 output is readable text.
  AdminMode = true;
  const std::wstring sfc = Tool(L"sfc.exe");
  const std::string bytes = Utf16(sfc_text + sfc_text + sfc_text, false);
  standin::ScriptTool(sfc, {bytes.substr(0, 301), bytes.substr(301)}, 0);
  EXPECT_TRUE(RunOfficialTool(L"sfc.exe", L"/scannow", L"System File Checker"));
  std::wstring all = sfc_text + sfc_text + sfc_text;
  std::replace_if(all.begin(), all.end(), [](wchar_t c) { return c == L'\r' || c == L'\n'; }, L' ');  // one line
  const std::wstring shown = ActivityLines()[1];
  ASSERT_EQ(shown.rfind(L"[REPAIR] ", 0), 0u);
  EXPECT_EQ(shown.size(), 9u + 400u);
  EXPECT_NE(all.find(shown.substr(9)), std::wstring::npos);
}

TEST_F(RepairTest, ExtendedScanRunsItsInspectionsInOrder) {
  AdminMode = true;
  PutBootFiles();
  standin::SetRawVolumeOpens(false);
  standin::HideFromFindListing(PutFile(L"C:\\Windows\\Temp\\hidden.dat", "x"));
  PutFile(L"C:\\grubx64.efi", "x");
  RunAdminExtendedScan();
  const auto lines = ActivityLines();
  const auto first = [&lines](const std::wstring& prefix) {
    return std::find_if(lines.begin(), lines.end(), [&](const auto& l) { return l.rfind(prefix, 0) == 0; }) -
           lines.begin();
  };
  EXPECT_EQ(first(L"[VOLUME] Could not open C:"), 0);
  EXPECT_LT(first(L"[VOLUME] "), first(L"[ROOTKIT] Hidden file mismatch: "));
  EXPECT_LT(first(L"[ROOTKIT] "), first(L"[BOOT] "));
  EXPECT_LT(first(L"[BOOT] "), static_cast<long>(lines.size()));
  EXPECT_EQ(lines.back(), L"[ADMIN] Extended scan finished.");
  EXPECT_EQ(CountLines(L"[REPAIR] "), 0);  // boot files complete: no tool, no driver check
}

TEST_F(RepairTest, ExtendedScanRepairsOnlyWhenBootFilesAreIncomplete) {
  AdminMode = true;
  PutBootFiles();
  RunAdminExtendedScan();
  EXPECT_EQ(ActivityLines().back(), L"[ADMIN] Extended scan finished.");
  EXPECT_EQ(CountLines(L"[REPAIR] "), 0);

  ResetActivityState();
  std::filesystem::remove(standin::HostPath(L"C:\\Windows\\System32\\ntoskrnl.exe"));
  const std::wstring sfc = Tool(L"sfc.exe");
  const std::wstring dism = Tool(L"dism.exe");
  const std::wstring bcdboot = Tool(L"bcdboot.exe");
  for (const auto& tool : {sfc, dism, bcdboot}) standin::ScriptTool(tool, {}, 0);
  RunAdminExtendedScan();
  EXPECT_TRUE(Logged(L"[REPAIR] Boot files look incomplete. Official Windows tools will be used \u2014 Kestrune will "
                     L"not write the boot sector."));
  EXPECT_EQ(standin::ChildCommandLines(), (std::vector<std::wstring>{
                                              L"\"" + sfc + L"\" /scannow",
                                              L"\"" + dism + L"\" /Online /Cleanup-Image /RestoreHealth",
                                              L"\"" + bcdboot + L"\" C:\\Windows",
                                          }));
  // The inbox-driver check opens the "sfc" step: two drivers are missing here.
  const auto lines = ActivityLines();
  const auto sfc_start = std::find(lines.begin(), lines.end(), L"[REPAIR] Starting official tool: System File Checker");
  ASSERT_NE(sfc_start, lines.end());
  EXPECT_EQ(*(sfc_start - 1), L"[REPAIR] Missing inbox drivers should be restored with SFC / DISM, not by copying "
                              L"random .sys files.");
  EXPECT_EQ(CountLines(L"[REPAIR] Missing inbox driver file: "), 4);
  EXPECT_EQ(ActivityLines().back(), L"[ADMIN] Extended scan finished.");
}

TEST_F(RepairTest, RecoveryAsksFirst) {
  AdminMode = true;
  const std::wstring shutdown = Tool(L"shutdown.exe");
  standin::ScriptTool(shutdown, {}, 0);
  standin::QueueYesNoAnswer(false);
  OpenWindowsRecovery();
  EXPECT_EQ(ActivityLines(), (std::vector<std::wstring>{L"[REPAIR] Recovery reboot cancelled."}));
  EXPECT_TRUE(standin::ChildCommandLines().empty());

  standin::QueueYesNoAnswer(true);
  OpenWindowsRecovery();
  EXPECT_EQ(standin::ChildCommandLines(),
            (std::vector<std::wstring>{L"\"" + shutdown + L"\" /r /o /t 60 /c \"Kestrune opening Windows Recovery\""}));
  EXPECT_EQ(standin::Questions().back(),
            L"Windows Recovery: Open official Windows Recovery (Advanced Startup) on reboot?\n\nUse Startup Repair and "
            L"Safe Mode there. Kestrune will not write the boot sector.\n\nThe PC will restart in 60 seconds if you "
            L"choose Yes.");
}

TEST_F(RepairTest, DisinfectionOnACleanMachine) {
  PutBootFiles();
  PutFile(L"C:\\Users\\bob\\Desktop\\notes.txt", "meeting at ten");
  PutFile(L"C:\\Users\\bob\\Desktop\\sub\\packed.exe", BuildPe({{".evil", kExecute | kWrite}}) + RandomBytes(70000));
  RunDisinfectionPass();
  const auto lines = ActivityLines();
  EXPECT_EQ(lines.front(), L"[DISINFECT] Starting disinfection pass (heuristic + persistence).");
  EXPECT_TRUE(Logged(L"[DISINFECT] Pass finished. New contains this run: 0"));
  EXPECT_EQ(lines.back(), L"Disinfection pass complete.");
  EXPECT_EQ(StatusText, L"Disinfection pass complete.");
  EXPECT_EQ(RunCounters.scanned.load(), 1u);  // the sub-folder of Desktop is not looked at
  EXPECT_FALSE(RestartPromptPending.load());
}

TEST_F(RepairTest, DisinfectionWithACleanActiveTargetAdvisesARestart) {
  PutBootFiles();
  const std::wstring target = PutFile(L"C:\\Users\\bob\\Documents\\report.txt", "quarterly figures");
  UpdateStatus(L"Heuristic review (not deleted)", target);
  RunDisinfectionPass();
  EXPECT_EQ(HostBytes(target), "quarterly figures");  // left in place
  EXPECT_FALSE(Logged(L"[DISINFECT] Active target processed: " + target));
  EXPECT_TRUE(Logged(L"[DISINFECT] Pass finished. New contains this run: 0"));
  EXPECT_TRUE(RestartPromptPending.load());
  EXPECT_EQ(ActivityLines().back(),
            L"[RESTART] Removal finished. Boot files look intact \u2014 a restart can finish cleanup.");
}

TEST_F(RepairTest, DisinfectionContainsAThreatInTheStartupFolder) {
  PutBootFiles();
  const std::wstring startup = L"C:\\Users\\bob\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup";
  PutFile(startup + L"\\keylogger.exe", BuildPe({{".evil", kExecute | kWrite}}) + RandomBytes(70000));
  RunDisinfectionPass();
  EXPECT_TRUE(Logged(L"[DISINFECT] Pass finished. New contains this run: 1"));
  EXPECT_TRUE(RestartPromptPending.load());
}

TEST_F(RepairTest, FlaggedActiveTargetNamedExplorerIsQuarantinedWithoutStoppingExplorer) {
  PutBootFiles();
  const std::wstring target = PutFile(L"C:\\Users\\bob\\Downloads\\explorer.exe",
                                      BuildPe({{".evil", kExecute | kWrite}}) + RandomBytes(70000));
  standin::AddProcess(300, L"explorer.exe", L"C:\\Windows\\explorer.exe");
  UpdateStatus(L"Manager handling threat", target);
  RunDisinfectionPass();
  EXPECT_TRUE(Logged(L"[DISINFECT] Active target processed: " + target));
  EXPECT_FALSE(std::filesystem::exists(standin::HostPath(target)));
  EXPECT_TRUE(standin::TerminatedProcesses().empty());
}
