// The quarantine screen: what the folder holds, newest first, and the user's own
// Restore and Delete, each done on a step of its own and never on the GUI thread.
#include <chrono>
#include <filesystem>
#include <vector>

#include "app/text_file.h"
#include "app/wide.h"
#include "engine/hash_lists.h"
#include "gui_driver.h"
#include "platform/gui.h"
#include "response/quarantine_list.h"
#include "response/quarantine_store.h"
#include "scan_fixture.h"
#include "ui/dashboard.h"
#include "ui/dashboard_state.h"
#include "ui/dashboard_style.h"
#include "ui/quarantine_screen.h"
#include "ui/vpn_panel.h"
#include "ui/window_events.h"

namespace {

class QuarantineScreenTest : public ScanTest {
 protected:
  void SetUp() override {
    ScanTest::SetUp();
    ResetDashboardForTest();
    ResetDashboardStyleForTest();
    ResetQuarantineScreenForTest();
    VpnPanelOpen = false;
    OsProfile.IsWorkstation = true;
    TermsPending.store(false);
    platform::GuiSetEventHandler(HandleGuiEvent);
    platform::GuiCreateWindow();
    gui_ = std::make_unique<GuiDriver>();
  }
  void TearDown() override {
    gui_.reset();
    ResetQuarantineScreenForTest();
    ScanTest::TearDown();
  }

  // Puts a file into Downloads and quarantines it; its sidecar is dated hours_ago.
  std::wstring Store(const std::wstring& name, const std::string& bytes, int hours_ago) {
    const std::wstring original = PutFile(std::wstring(kDownloads) + L"\\" + name, bytes);
    std::wstring stored;
    EXPECT_TRUE(QuarantineFile(original, stored));
    std::filesystem::last_write_time(standin::HostPath(stored + L".log"),
                                     std::chrono::file_clock::now() - std::chrono::hours(hours_ago));
    return stored;
  }

  bool HostExists(const std::wstring& path) { return std::filesystem::exists(standin::HostPath(path)); }

  // Runs the newest step the screen started, as its thread would, and draws a frame.
  void RunStep(const std::wstring& name) {
    const auto threads = standin::StartedThreads();
    ASSERT_FALSE(threads.empty());
    ASSERT_EQ(threads.back().name, name);
    threads.back().body();
    gui_->Frame();
  }

  // Opens the screen through the rail and lets its reading of the folder finish.
  void OpenScreen() {
    gui_->Frame();
    ASSERT_TRUE(gui_->Click("Quarantined"));
    ASSERT_TRUE(QuarantineScreenOpen);
    RunStep(L"quarantine-list");
  }

  // Where each text first shows in the last frame, in the order given.
  std::vector<std::size_t> PositionsOf(const std::vector<std::string>& texts) {
    std::vector<std::size_t> positions;
    const std::string shown = gui_->Frame();
    for (const auto& text : texts) positions.push_back(shown.find(text));
    return positions;
  }

  std::unique_ptr<GuiDriver> gui_;
};

TEST(QuarantineListTextTest, TimesAreWrittenAsUtcCalendarDates) {
  const struct {
    uint64_t ticks;
    const char* text;
  } cases[] = {
      {0, "1601-01-01 00:00 UTC"},                    // the start of file time
      {116444736000000000ull, "1970-01-01 00:00 UTC"},  // the Unix epoch
      {133537247990000000ull, "2024-02-29 23:59 UTC"},  // a leap day, seconds cut off
      {134414776500000000ull, "2026-12-11 15:47 UTC"},
      {157520160000000000ull, "2100-03-01 00:00 UTC"},  // 2100 is no leap year
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(UtcTimeText(c.ticks), c.text);
  }
}

TEST(QuarantineListTextTest, ReasonIsTheFirstReasonLine) {
  EXPECT_EQ(SidecarReason("original=C:\\a.exe\nreason=heuristic-disinfect\n"), L"heuristic-disinfect");
  EXPECT_EQ(SidecarReason("reason=first\nreason=second\n"), L"first");
  EXPECT_EQ(SidecarReason("original=C:\\a.exe\n"), L"");
  EXPECT_EQ(SidecarReason("xreason=not at the start\n"), L"");
}

TEST_F(QuarantineScreenTest, ListsStoredFilesNewestFirstWithTheirOrigins) {
  // Stored in an order that is neither their age nor their names'.
  Store(L"b-middle.exe", "MZ b", 2);
  Store(L"a-newest.exe", "MZ a", 1);
  Store(L"c-oldest.exe", "MZ c", 3);
  gui_->Frame();
  ASSERT_TRUE(gui_->Click("Quarantined"));
  // The folder is read on a step of its own, never while a frame is drawn.
  EXPECT_TRUE(gui_->Frame().find("Reading the quarantine folder...") != std::string::npos);
  EXPECT_FALSE(gui_->HasWidget("Restore##0"));
  EXPECT_FALSE(gui_->HasWidget("Quick Scan"));
  RunStep(L"quarantine-list");

  const auto at = PositionsOf({"a-newest.exe", "From  C:\\Users\\bob\\Downloads\\a-newest.exe", "b-middle.exe",
                               "From  C:\\Users\\bob\\Downloads\\b-middle.exe", "c-oldest.exe",
                               "From  C:\\Users\\bob\\Downloads\\c-oldest.exe"});
  for (std::size_t i = 0; i < at.size(); ++i) {
    ASSERT_NE(at[i], std::string::npos) << i;
    if (i > 0) EXPECT_LT(at[i - 1], at[i]) << i;
  }
  EXPECT_TRUE(gui_->Shows("(heuristic-disinfect)"));
  EXPECT_FALSE(gui_->Shows(".log"));  // sidecars are no entries of their own
  EXPECT_TRUE(gui_->HasWidget("Restore##2"));
  EXPECT_FALSE(gui_->HasWidget("Restore##3"));

  ASSERT_TRUE(gui_->Click("Back"));
  EXPECT_FALSE(QuarantineScreenOpen);
  gui_->Frame();
  EXPECT_TRUE(gui_->HasWidget("Quick Scan"));
}

TEST_F(QuarantineScreenTest, EachOpeningReadsTheFolderAgain) {
  OpenScreen();
  EXPECT_TRUE(gui_->Shows("Nothing is in quarantine."));
  ASSERT_TRUE(gui_->Click("Back"));
  // What another run stored meanwhile: a stored file and its sidecar, nothing else.
  PutFile(QuarantineDir + L"\\earlier.exe", "MZ earlier");
  PutFile(QuarantineDir + L"\\earlier.exe.log", "original=C:\\Users\\bob\\Desktop\\earlier.exe\r\nreason=heuristic-disinfect\r\n");
  gui_->Frame();
  EXPECT_FALSE(gui_->Shows("earlier.exe"));
  OpenScreen();
  EXPECT_TRUE(gui_->Shows("From  C:\\Users\\bob\\Desktop\\earlier.exe"));
}

TEST_F(QuarantineScreenTest, RestorePutsOneFileBackTrustsItAndLeavesTheOthers) {
  const std::wstring newest = Store(L"invoice.exe", "MZ invoice bytes \x01\x02", 1);
  const std::wstring middle = Store(L"setup.exe", "MZ setup", 2);
  const std::wstring oldest = Store(L"tool.exe", "MZ tool", 3);
  OpenScreen();
  ASSERT_TRUE(gui_->Click("Restore##1"));  // setup.exe
  // The move happens on its own step, not in the frame that took the click.
  EXPECT_TRUE(HostExists(middle));
  EXPECT_FALSE(HostExists(std::wstring(kDownloads) + L"\\setup.exe"));
  RunStep(L"quarantine-restore");

  EXPECT_EQ(HostBytes(std::wstring(kDownloads) + L"\\setup.exe"), "MZ setup");
  EXPECT_FALSE(HostExists(middle));
  EXPECT_FALSE(HostExists(middle + L".log"));
  EXPECT_TRUE(IsSafeHash(ComputeFileSha256(std::wstring(kDownloads) + L"\\setup.exe")));
  std::string safe;
  ASSERT_TRUE(ReadTextFile(SafeHashesPath, safe));
  EXPECT_NE(safe.find(NarrowLowBytes(ComputeFileSha256(std::wstring(kDownloads) + L"\\setup.exe"))), std::string::npos);
  EXPECT_TRUE(Logged(L"[DISINFECT] Restored C:\\Users\\bob\\Downloads\\setup.exe"));
  for (const auto& kept : {newest, oldest}) {
    EXPECT_TRUE(HostExists(kept));
    EXPECT_TRUE(HostExists(kept + L".log"));
  }
  EXPECT_FALSE(HostExists(std::wstring(kDownloads) + L"\\invoice.exe"));
  EXPECT_FALSE(HostExists(std::wstring(kDownloads) + L"\\tool.exe"));
  // The screen read the folder again and says what happened.
  EXPECT_TRUE(gui_->Shows("Restored setup.exe to C:\\Users\\bob\\Downloads\\setup.exe and trusted it."));
  EXPECT_FALSE(gui_->Shows("From  C:\\Users\\bob\\Downloads\\setup.exe"));
  EXPECT_TRUE(gui_->Shows("From  C:\\Users\\bob\\Downloads\\tool.exe"));
  EXPECT_FALSE(QuarantineScreenBusy());
}

TEST_F(QuarantineScreenTest, RestoreBesideANewerFileAtTheOriginKeepsBoth) {
  const std::wstring stored = Store(L"report.docx", "old report", 1);
  const std::wstring origin = PutFile(std::wstring(kDownloads) + L"\\report.docx", "newer report");
  OpenScreen();
  ASSERT_TRUE(gui_->Click("Restore##0"));
  RunStep(L"quarantine-restore");
  EXPECT_EQ(HostBytes(origin), "newer report");
  EXPECT_EQ(HostBytes(std::wstring(kDownloads) + L"\\report (restored).docx"), "old report");
  EXPECT_FALSE(HostExists(stored));
  EXPECT_TRUE(Logged(L"[DISINFECT] Restored C:\\Users\\bob\\Downloads\\report (restored).docx \u2014 a newer file "
                     L"keeps the name C:\\Users\\bob\\Downloads\\report.docx"));
  // Trusted is what was stored, not what stands at the origin now.
  EXPECT_TRUE(IsSafeHash(ComputeFileSha256(std::wstring(kDownloads) + L"\\report (restored).docx")));
  EXPECT_FALSE(IsSafeHash(ComputeFileSha256(origin)));
}

TEST_F(QuarantineScreenTest, RestoreNeverFollowsALinkPlantedOnTheWayBack) {
  const std::wstring stored = Store(L"kit.exe", "MZ kit", 1);
  AdminMode.store(true);
  // The user's Downloads swapped for a link to a folder the user may not write.
  const auto downloads = standin::HostPath(kDownloads);
  const auto elsewhere = drive_c_ / "Windows" / "System32";
  std::filesystem::create_directories(elsewhere);
  std::filesystem::remove_all(downloads);
  std::filesystem::create_directory_symlink(elsewhere, downloads);
  OpenScreen();
  ASSERT_TRUE(gui_->Click("Restore##0"));
  RunStep(L"quarantine-restore");
  EXPECT_EQ(HostBytes(stored), "MZ kit");
  EXPECT_TRUE(HostExists(stored + L".log"));
  EXPECT_FALSE(std::filesystem::exists(elsewhere / "kit.exe"));
  EXPECT_TRUE(Logged(L"[DISINFECT] Restore failed: " + stored));
  EXPECT_FALSE(AnySafeHashes());
  EXPECT_TRUE(gui_->Shows("Could not restore kit.exe; see the activity list."));
  EXPECT_TRUE(gui_->HasWidget("Restore##0"));  // still listed
}

TEST_F(QuarantineScreenTest, DeleteAsksOnItsOwnStepNoKeepsYesRemovesFileAndSidecar) {
  const std::wstring stored = Store(L"dropper.exe", "MZ dropper", 1);
  OpenScreen();
  standin::QueueYesNoAnswer(false);
  ASSERT_TRUE(gui_->Click("Delete##0"));
  EXPECT_TRUE(standin::Questions().empty());  // the question blocks: never on the GUI thread
  RunStep(L"quarantine-delete");
  ASSERT_EQ(standin::Questions().size(), 1u);
  EXPECT_EQ(standin::Questions()[0],
            L"Kestrune \u2014 Delete from quarantine?: Delete dropper.exe from quarantine for good?\n\nFrom: "
            L"C:\\Users\\bob\\Downloads\\dropper.exe\n\nIt cannot be restored afterwards.");
  EXPECT_TRUE(HostExists(stored));
  EXPECT_TRUE(HostExists(stored + L".log"));
  EXPECT_TRUE(gui_->Shows("Kept dropper.exe in quarantine."));

  standin::QueueYesNoAnswer(true);
  ASSERT_TRUE(gui_->Click("Delete##0"));
  RunStep(L"quarantine-delete");
  EXPECT_FALSE(HostExists(stored));
  EXPECT_FALSE(HostExists(stored + L".log"));
  EXPECT_FALSE(HostExists(std::wstring(kDownloads) + L"\\dropper.exe"));
  EXPECT_TRUE(Logged(L"[AI] Deleted " + stored));
  EXPECT_TRUE(Logged(L"[AI] Deleted " + stored + L".log"));
  EXPECT_TRUE(gui_->Shows("Deleted dropper.exe."));
  EXPECT_TRUE(gui_->Shows("Nothing is in quarantine."));
}

TEST_F(QuarantineScreenTest, AStoredFileWithoutItsSidecarIsListedDeletableAndNotRestorable) {
  const std::wstring orphan = PutFile(QuarantineDir + L"\\orphan.exe", "MZ orphan");
  OpenScreen();
  EXPECT_TRUE(gui_->Shows("orphan.exe"));
  EXPECT_TRUE(gui_->Shows("From  unknown"));
  EXPECT_TRUE(gui_->Shows("Isolated  unknown"));
  ASSERT_TRUE(gui_->Click("Restore##0"));  // drawn, but disabled
  EXPECT_TRUE(standin::StartedThreads().back().name == L"quarantine-list");
  // Asked all the same, the store would put it into its own Restored folder: refused.
  std::wstring restored;
  EXPECT_FALSE(RestoreFromQuarantine(orphan, restored));
  EXPECT_TRUE(HostExists(orphan));
  EXPECT_FALSE(HostExists(DataDir + L"\\Restored\\orphan.exe"));
  EXPECT_TRUE(Logged(L"[QUARANTINE] Restore refused, origin unknown: " + orphan));
  EXPECT_FALSE(AnySafeHashes());

  standin::QueueYesNoAnswer(true);
  ASSERT_TRUE(gui_->Click("Delete##0"));
  RunStep(L"quarantine-delete");
  EXPECT_FALSE(HostExists(orphan));
  EXPECT_EQ(CountLines(L"[AI] Delete failed"), 0);  // no sidecar, so none to fail on
}

TEST_F(QuarantineScreenTest, ListingTellsSidecarsFromStoredFilesAndLeavesLinksOut) {
  PutFile(QuarantineDir + L"\\notes.log", "a stored file named like a sidecar");
  PutFile(QuarantineDir + L"\\notes.log.log", "original=C:\\Users\\bob\\notes.log\r\nreason=heuristic-disinfect\r\n");
  PutFile(QuarantineDir + L"\\lost.exe.log", "original=C:\\Users\\bob\\lost.exe\r\n");  // its file is gone
  PutFile(QuarantineDir + L"\\blank.exe", "MZ");
  PutFile(QuarantineDir + L"\\blank.exe.log", "reason=heuristic-disinfect\r\n");  // names no origin
  std::filesystem::create_directories(drive_c_ / "Users" / "bob" / "secret");
  std::filesystem::create_symlink(drive_c_ / "Users" / "bob" / "secret",
                                  standin::HostPath(QuarantineDir + L"\\planted.exe"));
  std::vector<QuarantineEntry> entries;
  ASSERT_TRUE(ListQuarantine(entries));
  std::vector<std::wstring> names;
  for (const auto& entry : entries) names.push_back(entry.name + L"|" + entry.original);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::wstring>{L"blank.exe|", L"lost.exe.log|", L"notes.log|C:\\Users\\bob\\notes.log"}));
  for (const auto& entry : entries) EXPECT_EQ(CanRestore(entry), entry.name == L"notes.log") << entry.name;

  // No quarantine folder yet: nothing stored; no folder path at all: cannot be listed.
  std::filesystem::remove_all(standin::HostPath(QuarantineDir));
  EXPECT_TRUE(ListQuarantine(entries));
  EXPECT_TRUE(entries.empty());
  QuarantineDir.clear();
  EXPECT_FALSE(ListQuarantine(entries));
}

TEST_F(QuarantineScreenTest, ANameCannotDrawLinesOfItsOwn) {
  PutFile(QuarantineDir + L"\\a\nFrom  elsewhere.exe", "MZ");
  OpenScreen();
  EXPECT_TRUE(gui_->Shows("a From  elsewhere.exe"));
  EXPECT_FALSE(gui_->Shows("\nFrom  elsewhere.exe"));
}

}  // namespace
