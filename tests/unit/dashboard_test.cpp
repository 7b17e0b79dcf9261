#include "app/scan_state.h"
#include "gui_driver.h"
#include "platform/gui.h"
#include "platform/tray.h"
#include "standin_fixture.h"
#include "ui/dashboard.h"
#include "ui/dashboard_state.h"
#include "ui/dashboard_style.h"
#include "ui/taskbar_pin.h"
#include "ui/vpn_panel.h"
#include "ui/window_events.h"

class DashboardTest : public StandinTest {
 protected:
  void SetUp() override {
    StandinTest::SetUp();
    ResetDashboardForTest();
    ResetDashboardStyleForTest();
    ScanProgress.store(0.0f);
    ScanStopRequested.store(false);
    OverlayShown.store(false);
    ThreatState.store(0);
    RestartPromptPending.store(false);
    BootFilesIntact.store(true);
    VpnPanelOpen = false;
    VpnConnected = false;
    VpnStatusText.clear();
    VpnCountryIndex = 0;
    LastSpot = 0;
    OsProfile.IsWorkstation = true;
    TermsPending.store(false);
    DataDir = L"C:\\KestruneAV";
    TermsPath = DataDir + L"\\terms_accepted.txt";
    AdminPreferencePath = DataDir + L"\\admin_preference.txt";
    std::filesystem::create_directories(drive_c_ / "KestruneAV");
    platform::GuiSetEventHandler(HandleGuiEvent);
    platform::GuiCreateWindow();
    platform::TrayAddIcon();
    gui_ = std::make_unique<GuiDriver>();
  }
  void TearDown() override {
    gui_.reset();
    StandinTest::TearDown();
  }
  void Frames(int count) {
    for (int i = 0; i < count; ++i) gui_->Frame();
  }
  std::unique_ptr<GuiDriver> gui_;
};

TEST_F(DashboardTest, TermsMustBeTickedTwiceBeforeAccepting) {
  TermsPending.store(true);
  EXPECT_TRUE(gui_->Frame().find("Kestrune AV \xE2\x80\x94 Terms") != std::string::npos);
  EXPECT_TRUE(gui_->Shows("If the app has any issues, send an email to support@kestrune.invalid."));
  EXPECT_FALSE(gui_->HasWidget("Quick Scan"));

  ASSERT_TRUE(gui_->Click("Accept and continue"));
  EXPECT_TRUE(TermsPending.load());
  ASSERT_TRUE(gui_->Click("I will not sell this app or edit its code."));
  ASSERT_TRUE(gui_->Click("Accept and continue"));
  EXPECT_TRUE(TermsPending.load());
  EXPECT_FALSE(std::filesystem::exists(drive_c_ / "KestruneAV" / "terms_accepted.txt"));

  ASSERT_TRUE(gui_->Click("I can contact support@kestrune.invalid if something is wrong."));
  ASSERT_TRUE(gui_->Click("Accept and continue"));
  EXPECT_FALSE(TermsPending.load());
  EXPECT_EQ(HostBytes(TermsPath), "yes");
  // The admin question follows the acceptance at once; No is saved.
  ASSERT_EQ(standin::Questions().size(), 1u);
  EXPECT_EQ(standin::Questions()[0].rfind(L"Kestrune Admin Mode: First run: enable Admin Mode?", 0), 0u);
  EXPECT_EQ(HostBytes(AdminPreferencePath), "no");
  gui_->Frame();
  EXPECT_TRUE(gui_->HasWidget("Quick Scan"));
}

TEST_F(DashboardTest, StatusWordAndHeroSentence) {
  const struct {
    bool scanning;
    int threat;
    const char* word;
    const char* sentence;
  } cases[] = {
      {false, 0, "Protected", "No active threat"},
      {false, 1, "Needs review", "A file needs review"},
      {false, 2, "Threat found", "A threat was contained"},
      {false, 7, "Threat found", "A threat was contained"},
      {true, 2, "Scanning", "A threat was contained"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.word);
    ScanActive.store(c.scanning);
    ThreatState.store(c.threat);
    ScanStartTick = 0;
    EXPECT_STREQ(StatusWord(), c.word);
    EXPECT_STREQ(ThreatSentence(), c.sentence);
    if (!c.scanning) {
      gui_->Frame();
      EXPECT_TRUE(gui_->Shows(c.word));
      EXPECT_TRUE(gui_->Shows(c.sentence));
    }
  }
}

TEST_F(DashboardTest, VisibleScanResetsEverything) {
  ScanProgress.store(0.7f);
  WalkedFileCount.store(99);
  ScanStopRequested.store(true);
  BatchNoticeShown.store(true);
  WarningNoticeShown.store(true);
  ThreatState.store(2);
  ShownProgress = 0.7f;
  BeginVisibleScan();
  EXPECT_TRUE(ScanActive.load());
  EXPECT_EQ(ScanProgress.load(), 0.0f);
  EXPECT_EQ(WalkedFileCount.load(), 0u);
  EXPECT_FALSE(ScanStopRequested.load());
  EXPECT_FALSE(BatchNoticeShown.load());
  EXPECT_FALSE(WarningNoticeShown.load());
  EXPECT_EQ(ThreatState.load(), 0);
  EXPECT_EQ(ShownProgress, 0.0f);
  EXPECT_EQ(LastProgress, 0.0f);
  EXPECT_TRUE(OverlayShown.load());
  EXPECT_EQ(ScanStartTick, standin::Now());
  EXPECT_EQ(LastProgressTick, standin::Now());
}

TEST_F(DashboardTest, StalledProgressEndsTheDisplayOnly) {
  BeginVisibleScan();
  gui_->Frame();  // progress shown as at least 5 %
  EXPECT_FLOAT_EQ(ScanProgress.load(), 0.05f);
  standin::AdvanceClock(4999);
  ScanProgress.store(0.053f);  // within 0.004: not progress
  gui_->Frame();
  EXPECT_TRUE(ScanActive.load());
  standin::AdvanceClock(1);
  gui_->Frame();
  EXPECT_FALSE(ScanActive.load());
  EXPECT_FALSE(OverlayShown.load());
  EXPECT_EQ(ScanProgress.load(), 1.0f);
  EXPECT_FALSE(ScanStopRequested.load());
  EXPECT_EQ(ActivityLines(), std::vector<std::wstring>{
                                 L"[SCAN] Progress stalled \u2014 finished the screen. Scan continues in the background."});
}

TEST_F(DashboardTest, VisibleScanStopsAfterOneMinute) {
  BeginVisibleScan();
  for (int second = 0; second < 60; second += 4) {
    ScanProgress.store(0.06f + 0.01f * second);  // keeps moving, so never stalled
    gui_->Frame();
    EXPECT_TRUE(ScanActive.load()) << second;
    standin::AdvanceClock(4000);
  }
  ScanProgress.store(0.9f);
  gui_->Frame();
  EXPECT_FALSE(ScanActive.load());
  EXPECT_TRUE(ScanStopRequested.load());
  EXPECT_EQ(ActivityLines(), std::vector<std::wstring>{L"[SCAN] Stopped after 1 minute. Remaining folders skipped."});
}

TEST_F(DashboardTest, OverlayFadesInAndOutCompletely) {
  BeginVisibleScan();
  Frames(70);
  EXPECT_EQ(OverlayFade.load(), 1.0f);
  EXPECT_TRUE(gui_->Shows("Scanning this device"));
  EXPECT_FALSE(gui_->HasWidget("Quick Scan"));  // nothing else drawn behind a full overlay
  OverlayShown.store(false);
  Frames(70);
  EXPECT_EQ(OverlayFade.load(), 0.0f);
  EXPECT_TRUE(gui_->HasWidget("Quick Scan"));
}

TEST_F(DashboardTest, ClosingTheOverlayAfterAFinishedScanClearsTheThreat) {
  BeginVisibleScan();
  Frames(3);
  ThreatState.store(2);
  ScanProgress.store(1.0f);
  ScanActive.store(false);
  Frames(70);
  EXPECT_TRUE(gui_->Shows("Scan complete"));
  EXPECT_TRUE(gui_->Shows("Threat found"));
  EXPECT_TRUE(gui_->Shows("Progress  100%"));
  ASSERT_TRUE(gui_->Click("X##scanback"));
  EXPECT_FALSE(OverlayShown.load());
  EXPECT_EQ(ThreatState.load(), 0);
  EXPECT_EQ(ScanProgress.load(), 0.0f);
  Frames(70);
  EXPECT_TRUE(gui_->Shows("No active threat"));
  EXPECT_TRUE(gui_->Shows("Protected"));
}

TEST_F(DashboardTest, RailShowsAdminStateAndCounters) {
  RunCounters.scanned = 12;
  HeldCount = 2;
  IsolationInFlight = 1;
  gui_->Frame();
  EXPECT_TRUE(gui_->HasWidget("Enable Admin"));
  EXPECT_TRUE(gui_->Shows("Off"));
  EXPECT_TRUE(gui_->Shows("Scan 12"));
  EXPECT_TRUE(gui_->Shows("Held 3"));
  EXPECT_TRUE(gui_->Shows("GPU  0%"));
  AdminMode = true;
  gui_->Frame();
  EXPECT_FALSE(gui_->HasWidget("Enable Admin"));
  EXPECT_TRUE(gui_->Shows("On"));
}

TEST_F(DashboardTest, VpnEntryByProductType) {
  OsProfile.IsWorkstation = false;
  snprintf(OsProfile.OsProfileText, sizeof OsProfile.OsProfileText, "Windows Server  build 20348");
  gui_->Frame();
  EXPECT_TRUE(gui_->Shows("VPN off (Windows Server  build 20348)"));
  EXPECT_FALSE(gui_->HasWidget("VPN"));

  OsProfile.IsWorkstation = true;
  gui_->Frame();
  ASSERT_TRUE(gui_->Click("VPN"));
  gui_->Frame();
  EXPECT_TRUE(VpnPanelOpen);
  EXPECT_EQ(VpnStatusText, L"Choose a country");
  EXPECT_FALSE(gui_->HasWidget("Quick Scan"));
  ASSERT_TRUE(gui_->Click("Back"));
  gui_->Frame();
  EXPECT_TRUE(gui_->HasWidget("Quick Scan"));
}

TEST_F(DashboardTest, DoneConnectPicksASpotFirstThenDialsTheCountrysEntry) {
  VpnPanelOpen = true;
  VpnStatusText = L"Choose a country";
  VpnCountryIndex = 4;
  gui_->Frame();
  EXPECT_TRUE(gui_->Shows("Pick a country. Then we pick a random city that is not your home spot."));
  ASSERT_TRUE(gui_->Click("Done \xE2\x80\x94 connect"));
  const std::wstring rasdial = L"C:\\Windows\\System32\\rasdial.exe";
  EXPECT_EQ(standin::ProgramStarts(), (std::vector<standin::ProgramStart>{
                                          {rasdial, L"\"" + rasdial + L"\" \"KestruneVPN_Japan\"",
                                           L"C:\\Windows\\System32", L"hidden"}}));
  EXPECT_NE(LastSpot, 0);  // a spot was picked on the way
  EXPECT_TRUE(VpnConnected.load());
  EXPECT_EQ(VpnStatusText, L"Connecting Japan");
  EXPECT_FALSE(VpnPanelOpen);
  gui_->Frame();
  EXPECT_TRUE(gui_->HasWidget("VPN  On"));

  VpnPanelOpen = true;
  gui_->Frame();
  ASSERT_TRUE(gui_->Click("Disconnect"));
  EXPECT_EQ(standin::ProgramStarts().back(),
            (standin::ProgramStart{rasdial, L"\"" + rasdial + L"\" /disconnect", L"C:\\Windows\\System32", L"hidden"}));
  EXPECT_TRUE(standin::ShellOpens().empty());
  EXPECT_FALSE(VpnConnected.load());
  EXPECT_EQ(VpnStatusText, L"Disconnected");
  EXPECT_FALSE(VpnPanelOpen);
}

TEST_F(DashboardTest, RandomSpotNeverRepeatsTheLastCity) {
  VpnCountryIndex = 1;  // Germany
  std::wstring previous;
  uint32_t seed = 12345;
  for (int i = 0; i < 300; ++i) {
    seed = seed * 1103515245u + 12345u;
    standin::AdvanceClock(seed >> 20);  // any tick, also one that lands on the last city again
    PickRandomSpot();
    ASSERT_EQ(VpnStatusText.rfind(L"Spot: Germany / ", 0), 0u);
    EXPECT_NE(VpnStatusText, previous);
    if (i == 0) EXPECT_NE(VpnStatusText, L"Spot: Germany / Frankfurt");  // the home spot
    previous = VpnStatusText;
  }
  VpnCountryIndex = 9;  // out of range: the last country
  PickRandomSpot();
  EXPECT_EQ(VpnStatusText.rfind(L"Spot: Japan / ", 0), 0u);
}

TEST_F(DashboardTest, OnAServerTheVpnIsNotUsed) {
  OsProfile.IsWorkstation = false;
  snprintf(OsProfile.OsProfileText, sizeof OsProfile.OsProfileText, "Windows Server  build 20348");
  EXPECT_FALSE(ConnectVpn("UK"));
  EXPECT_EQ(VpnStatusText, L"VPN is off on Windows Server  build 20348");
  EXPECT_TRUE(standin::ShellOpens().empty());
  EXPECT_TRUE(standin::ProgramStarts().empty());
  VpnPanelOpen = true;
  gui_->Frame();
  EXPECT_TRUE(gui_->Shows("VPN is not used on this system."));
  ASSERT_TRUE(gui_->Click("Back"));
  EXPECT_FALSE(VpnPanelOpen);
}

TEST_F(DashboardTest, PinToTaskbarStampsCopiesExplainsAndShows) {
  standin::SetShellFolder(platform::ShellFolder::Programs, L"C:\\Users\\bob\\Start Menu\\Programs");
  standin::SetShellFolder(platform::ShellFolder::CommonPrograms, L"C:\\ProgramData\\Start Menu\\Programs");
  standin::SetShellFolder(platform::ShellFolder::Desktop, L"C:\\Users\\bob\\Desktop");
  standin::SetEnvironment(L"APPDATA", L"C:\\Users\\bob\\AppData\\Roaming");
  std::filesystem::create_directories(standin::HostPath(L"C:\\Users\\bob\\Start Menu\\Programs"));
  std::filesystem::create_directories(standin::HostPath(L"C:\\ProgramData\\Start Menu\\Programs"));
  PutFile(L"C:\\Users\\bob\\Desktop\\Kestrune AV.lnk", "desktop link");
  gui_->Frame();
  ASSERT_TRUE(gui_->Click("Pin to taskbar"));
  ASSERT_TRUE(gui_->Click("Pin to taskbar"));

  const std::wstring record =
      L"C:\\Program Files\\KestruneAV\\KestruneAV.exe|C:\\Program Files\\KestruneAV|Kestrune AV|Kestrune.KestruneAV";
  const auto shortcuts = standin::Shortcuts();
  ASSERT_EQ(shortcuts.size(), 4u);  // both folders, twice
  EXPECT_EQ(shortcuts[0], std::make_pair(std::wstring(L"C:\\Users\\bob\\Start Menu\\Programs\\Kestrune AV.lnk"), record));
  EXPECT_EQ(shortcuts[1].first, L"C:\\ProgramData\\Start Menu\\Programs\\Kestrune AV.lnk");
  EXPECT_EQ(HostBytes(L"C:\\Users\\bob\\AppData\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch\\User "
                      L"Pinned\\TaskBar\\Kestrune AV.lnk"),
            "desktop link");
  const std::wstring notice =
      L"Pin Kestrune: Windows will not pin this open window because Admin mode is on. That menu only says Close "
      L"window.\n\nA shortcut named Kestrune AV is on your desktop. Right-click THAT shortcut and choose Pin to "
      L"taskbar.";
  EXPECT_EQ(standin::Notices(), (std::vector<std::wstring>{notice, notice}));
  EXPECT_GE(standin::JournalIndex("SelectInExplorer C:\\Users\\bob\\Desktop\\Kestrune AV.lnk"), 0);
  EXPECT_GE(standin::JournalIndex("WindowAppIdentity Kestrune.KestruneAV"), 0);
  EXPECT_TRUE(ActivityLines().empty());

  // Elevated: the notice only, no folder window opened through the shell, and no
  // write into the user's own folders, where a program of the user's could have
  // planted a link: the all-users shortcut only.
  standin::Reset();
  standin::MapDrive(L'C', drive_c_.string());
  standin::SetShellFolder(platform::ShellFolder::Programs, L"C:\\Users\\bob\\Start Menu\\Programs");
  standin::SetShellFolder(platform::ShellFolder::CommonPrograms, L"C:\\ProgramData\\Start Menu\\Programs");
  standin::SetShellFolder(platform::ShellFolder::Desktop, L"C:\\Users\\bob\\Desktop");
  standin::SetEnvironment(L"APPDATA", L"C:\\Users\\bob\\Elevated");
  AdminMode.store(true);
  PinToTaskbar();
  EXPECT_EQ(standin::Notices(), std::vector<std::wstring>{notice});
  EXPECT_EQ(standin::JournalIndex("SelectInExplorer"), -1);
  ASSERT_EQ(standin::Shortcuts().size(), 1u);
  EXPECT_EQ(standin::Shortcuts()[0].first, L"C:\\ProgramData\\Start Menu\\Programs\\Kestrune AV.lnk");
  EXPECT_FALSE(std::filesystem::exists(standin::HostPath(L"C:\\Users\\bob\\Elevated")));
}

TEST_F(DashboardTest, PinWithoutADesktopShortcutOnlyExplains) {
  standin::SetShellFolder(platform::ShellFolder::Desktop, L"C:\\Users\\bob\\Desktop");
  standin::SetEnvironment(L"APPDATA", L"C:\\Users\\bob\\AppData\\Roaming");
  PinToTaskbar();
  EXPECT_EQ(standin::Notices().size(), 1u);
  EXPECT_FALSE(std::filesystem::exists(standin::HostPath(
      L"C:\\Users\\bob\\AppData\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch\\User Pinned\\TaskBar\\Kestrune AV.lnk")));
}

TEST_F(DashboardTest, ActivityFollowsNewLinesOnlyAtTheBottom) {
  for (int i = 0; i < 50; ++i) AppendActivity(L"[SCAN] line " + std::to_wstring(i));
  Frames(3);
  float y = 0, max = 0;
  ASSERT_TRUE(gui_->ScrollOf("/log_", y, max));
  ASSERT_GT(max, 0.0f);
  EXPECT_EQ(y, max);
  AppendActivity(L"[SCAN] newest");
  Frames(2);
  ASSERT_TRUE(gui_->ScrollOf("/log_", y, max));
  EXPECT_EQ(y, max);
  EXPECT_TRUE(gui_->Shows("[SCAN] newest"));

  ASSERT_TRUE(gui_->Wheel("/log_", 5.0f));  // the user scrolls up
  ASSERT_TRUE(gui_->ScrollOf("/log_", y, max));
  const float held = y;
  EXPECT_LT(held, max);
  AppendActivity(L"[SCAN] one more");
  Frames(2);
  ASSERT_TRUE(gui_->ScrollOf("/log_", y, max));
  EXPECT_EQ(y, held);
}

TEST_F(DashboardTest, RestartPromptAndItsLaterButton) {
  RestartPromptPending.store(true);
  Frames(2);
  EXPECT_TRUE(gui_->HasWidget("Restart now"));
  ASSERT_TRUE(gui_->Click("Later"));
  EXPECT_FALSE(RestartPromptPending.load());
  Frames(2);
  EXPECT_FALSE(gui_->HasWidget("Later"));
}

TEST_F(DashboardTest, IncompleteBootFilesLeadToWindowsRecovery) {
  RestartPromptPending.store(true);
  BootFilesIntact.store(false);
  Frames(2);
  EXPECT_TRUE(gui_->Shows("Boot files look incomplete."));
  EXPECT_TRUE(gui_->Shows("Use Windows Recovery instead."));
  EXPECT_FALSE(gui_->HasWidget("Restart now"));
  ASSERT_TRUE(gui_->Click("Open Recovery"));
  EXPECT_FALSE(RestartPromptPending.load());
  EXPECT_EQ(standin::StartedThreads().back().name, L"winre");

  RestartPromptPending.store(true);
  Frames(2);
  ASSERT_TRUE(gui_->Click("Close"));  // the card can always be closed
  EXPECT_FALSE(RestartPromptPending.load());
  Frames(2);
  EXPECT_FALSE(gui_->HasWidget("Close"));
}

TEST_F(DashboardTest, QuarantineButtonsReallyQuarantine) {
  QuarantineDir = DataDir + L"\\Quarantine";
  gui_->Frame();
  ASSERT_TRUE(gui_->Click("Quarantine target"));
  EXPECT_EQ(standin::StartedThreads().back().name, L"disinfect");

  const auto kit = drive_c_ / "Users" / "bob" / "Downloads" / "kit.exe";
  std::filesystem::create_directories(kit.parent_path());
  std::ofstream(kit) << "MZ";
  standin::QueueFolderPick(L"C:\\Users\\bob\\Downloads\\kit.exe");
  standin::QueueYesNoAnswer(true);
  ASSERT_TRUE(gui_->Click("Quarantine folder..."));
  EXPECT_FALSE(std::filesystem::exists(kit));
  EXPECT_TRUE(std::filesystem::exists(drive_c_ / "KestruneAV" / "Quarantine" / "kit.exe"));
  EXPECT_EQ(ActivityLines().back(),
            L"[QUARANTINE] C:\\Users\\bob\\Downloads\\kit.exe -> C:\\KestruneAV\\Quarantine\\kit.exe");
}

TEST_F(DashboardTest, ButtonsThatWorkToday) {
  gui_->Frame();
  ASSERT_TRUE(gui_->Click("Check for updates"));
  EXPECT_EQ(ActivityLines(), (std::vector<std::wstring>{
                                 L"[UPDATE] KestruneUpdater.exe not found next to the AV: C:\\Program Files\\KestruneAV",
                                 L"[UPDATE] Check for updates started."}));
  ResetActivityState();
  PutFile(L"C:\\Program Files\\KestruneAV\\KestruneUpdater.exe", "MZ");
  ASSERT_TRUE(gui_->Click("Check for updates"));
  EXPECT_EQ(ActivityLines(), (std::vector<std::wstring>{
                                 L"[UPDATE] Launched KestruneUpdater.exe from C:\\Program Files\\KestruneAV",
                                 L"[UPDATE] Check for updates started."}));

  standin::SetShellExecuteWorks(false);  // the elevation prompt declined
  ASSERT_TRUE(gui_->Click("Enable Admin"));
  EXPECT_EQ(standin::ShellExecutes().back(), L"runas|C:\\Program Files\\KestruneAV\\KestruneAV.exe|||normal|plain");
  EXPECT_EQ(ActivityLines().back(), L"[ADMIN] Elevation declined or failed. Staying in user mode.");

  ASSERT_TRUE(gui_->Click("Quarantine folder..."));  // cancelled picker: no question
  EXPECT_TRUE(standin::Questions().empty());
  standin::QueueFolderPick(L"C:\\Users\\bob\\Downloads\\kit");
  ASSERT_TRUE(gui_->Click("Quarantine folder..."));
  EXPECT_EQ(standin::Questions(), std::vector<std::wstring>{L"Confirm Quarantine: Move this item to quarantine?"});

  ASSERT_TRUE(gui_->Click("Hide to tray"));
  EXPECT_FALSE(UiVisible.load());
  EXPECT_FALSE(standin::WindowVisible());
  EXPECT_TRUE(standin::TrayIconShown());
  EXPECT_EQ(ActivityLines().back(), L"[TRAY] Window hidden. Low-power watch mode.");
}

TEST_F(DashboardTest, ScanButtonsStartTheirScansOnTheirOwnThreads) {
  const struct {
    const char* button;
    const wchar_t* thread;
  } cases[] = {{"Quick Scan", L"quick-scan"}, {"Full Scan", L"deep-scan"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.button);
    ScanActive.store(false);
    OverlayShown.store(false);
    OverlayFade.store(0.0f);
    gui_->Frame();
    ASSERT_TRUE(gui_->Click(c.button));
    EXPECT_EQ(standin::StartedThreads().back().name, c.thread);
    EXPECT_TRUE(ScanActive.load());
    EXPECT_TRUE(OverlayShown.load());
  }
  const bool shown = standin::WindowVisible();
  standin::SendGuiEvent(platform::GuiEvent::TrayQuickScan);
  EXPECT_EQ(standin::StartedThreads().back().name, L"tray-scan");
  EXPECT_EQ(standin::WindowVisible(), shown);  // the tray scan neither shows nor hides
}

TEST_F(DashboardTest, AThreadThatCannotStartIsAFaultOfItsStep) {
  standin::SetThreadStartFails(true);
  gui_->Frame();
  ASSERT_TRUE(gui_->Click("Quick Scan"));
  standin::SendGuiEvent(platform::GuiEvent::TrayQuickScan);
  const auto lines = ActivityLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].rfind(L"[FAULT] quick-scan recovered: ", 0), 0u);
  EXPECT_EQ(lines[1].rfind(L"[FAULT] tray-scan recovered: ", 0), 0u);
  EXPECT_FALSE(ScanActive.load());  // no overlay waits for a scan that never started
  EXPECT_FALSE(OverlayShown.load());
}

TEST_F(DashboardTest, HeroTakesItsShareOfTheWholeRow) {
  Frames(2);
  ImVec2 min, max;
  ASSERT_TRUE(gui_->WindowRect("/hero_", min, max));
  EXPECT_NEAR(max.x - min.x, 0.42f * (1100 - 2 * 18), 1.0f);
}

TEST_F(DashboardTest, StyleIsAppliedInEveryRun) {
  gui_->Frame();
  EXPECT_EQ(ImGui::GetStyle().WindowPadding.x, 18.0f);
  EXPECT_EQ(ImGui::GetStyle().ChildRounding, 16.0f);
}

TEST_F(DashboardTest, ShieldEmblemsFollowTheGlobalAlpha) {
  const ImU32 accent = IM_COL32(46, 140, 232, 255);
  gui_->Frame();
  EXPECT_EQ(gui_->MaxAlphaOf("hero", accent), 255);
  // The first frame of a scan: the overlay has faded in to 0.1, the dashboard under
  // it is drawn at 1 - 0.85 x 0.1.
  BeginVisibleScan();
  gui_->Frame();
  EXPECT_LE(gui_->MaxAlphaOf("Kestrune", accent), 26);
  EXPECT_GT(gui_->MaxAlphaOf("Kestrune", accent), 0);
  EXPECT_LE(gui_->MaxAlphaOf("hero", accent), 234);
}

using TrayTest = DashboardTest;

TEST_F(TrayTest, IconAddedAgainAfterExplorerRestartsIsLogged) {
  standin::SendGuiEvent(platform::GuiEvent::TrayIconAddedAgain);
  EXPECT_EQ(ActivityLines().back(), L"[TRAY] The taskbar was restarted \u2014 icon added again.");
}

TEST_F(TrayTest, HideShowAndExit) {
  standin::SendGuiEvent(platform::GuiEvent::HideToTray);
  EXPECT_FALSE(standin::WindowVisible());
  standin::SendGuiEvent(platform::GuiEvent::ShowFromTray);
  EXPECT_TRUE(standin::WindowVisible());
  EXPECT_TRUE(UiVisible.load());

  standin::SendGuiEvent(platform::GuiEvent::TrayExit);
  EXPECT_FALSE(AppRunning.load());
  EXPECT_FALSE(standin::TrayIconShown());
  EXPECT_EQ(HostBytes(L"C:\\KestruneAV\\user_shutdown.token"), "PERMITTED_CLOSE");
  EXPECT_GE(standin::JournalIndex("DestroyWindow"), 0);
}

TEST_F(TrayTest, BalloonsAreCutToTheirFields) {
  ShowTrayBalloon(std::wstring(100, L't'), std::wstring(300, L'x'));
  const auto balloons = standin::Balloons();
  ASSERT_EQ(balloons.size(), 1u);
  EXPECT_EQ(balloons[0].first.size(), 63u);
  EXPECT_EQ(balloons[0].second.size(), 255u);
  platform::TrayRemoveIcon();
  ShowTrayBalloon(L"Kestrune", L"no icon");  // fails silently
  EXPECT_EQ(standin::Balloons().size(), 1u);
}

TEST_F(DashboardTest, QuarantinedSitsBelowHideToTrayAndNothingElseMoves) {
  // Where each part of the dashboard was drawn before the rail had "Quarantined" (to 0.1 px).
  const struct {
    bool admin;
    const char* part;
    bool window;  // a child region rather than a widget
    float x0, y0, x1, y1;
  } layout[] = {
      {false, "/rail_", true, 18.0f, 18.0f, 230.0f, 662.0f},
      {false, "/hero_", true, 242.0f, 18.0f, 688.0f, 662.0f},
      {false, "/actions_", true, 700.0f, 18.0f, 1082.0f, 662.0f},
      {false, "/log_", true, 700.0f, 621.0f, 1082.0f, 662.0f},
      {false, "Enable Admin", false, 18.0f, 461.0f, 229.0f, 497.0f},
      {false, "Hide to tray", false, 18.0f, 509.0f, 229.0f, 545.0f},
      {false, "Quick Scan", false, 700.0f, 88.0f, 1081.0f, 137.0f},
      {false, "Full Scan", false, 700.0f, 149.0f, 1081.0f, 198.0f},
      {false, "Quarantine target", false, 700.0f, 210.0f, 1081.0f, 259.0f},
      {false, "Quarantine folder...", false, 700.0f, 271.0f, 1081.0f, 320.0f},
      {false, "VPN", false, 700.0f, 332.0f, 1081.0f, 381.0f},
      {false, "Run disinfection", false, 700.0f, 393.0f, 1081.0f, 442.0f},
      {false, "Check for updates", false, 700.0f, 454.0f, 1081.0f, 503.0f},
      {false, "Pin to taskbar", false, 700.0f, 515.0f, 1081.0f, 564.0f},
      {true, "/rail_", true, 18.0f, 18.0f, 230.0f, 662.0f},
      {true, "/hero_", true, 242.0f, 18.0f, 688.0f, 662.0f},
      {true, "/actions_", true, 700.0f, 18.0f, 1082.0f, 662.0f},
      {true, "/log_", true, 700.0f, 621.0f, 1082.0f, 662.0f},
      {true, "Hide to tray", false, 18.0f, 461.0f, 229.0f, 497.0f},
      {true, "Quick Scan", false, 700.0f, 88.0f, 1081.0f, 137.0f},
      {true, "Full Scan", false, 700.0f, 149.0f, 1081.0f, 198.0f},
      {true, "Quarantine target", false, 700.0f, 210.0f, 1081.0f, 259.0f},
      {true, "Quarantine folder...", false, 700.0f, 271.0f, 1081.0f, 320.0f},
      {true, "VPN", false, 700.0f, 332.0f, 1081.0f, 381.0f},
      {true, "Run disinfection", false, 700.0f, 393.0f, 1081.0f, 442.0f},
      {true, "Check for updates", false, 700.0f, 454.0f, 1081.0f, 503.0f},
      {true, "Pin to taskbar", false, 700.0f, 515.0f, 1081.0f, 564.0f},
  };
  for (const bool admin : {false, true}) {
    AdminMode.store(admin);
    Frames(2);
    int checked = 0;
    for (const auto& row : layout) {
      if (row.admin != admin) continue;
      SCOPED_TRACE(std::string(row.part) + (admin ? " (admin)" : ""));
      ImVec2 min, max;
      ASSERT_TRUE(row.window ? gui_->WindowRect(row.part, min, max) : gui_->RectOf(row.part, min, max));
      EXPECT_NEAR(min.x, row.x0, 0.05f);
      EXPECT_NEAR(min.y, row.y0, 0.05f);
      EXPECT_NEAR(max.x, row.x1, 0.05f);
      EXPECT_NEAR(max.y, row.y1, 0.05f);
      ++checked;
    }
    EXPECT_EQ(checked, admin ? 13 : 14);
    // The new button: as wide as "Hide to tray", one item spacing below it, as tall.
    ImVec2 hide_min, hide_max, min, max;
    ASSERT_TRUE(gui_->RectOf("Hide to tray", hide_min, hide_max));
    ASSERT_TRUE(gui_->RectOf("Quarantined", min, max));
    EXPECT_EQ(min.x, hide_min.x);
    EXPECT_EQ(max.x, hide_max.x);
    EXPECT_EQ(min.y, hide_max.y + 12.0f);
    EXPECT_EQ(max.y, min.y + 36.0f);
  }
}
