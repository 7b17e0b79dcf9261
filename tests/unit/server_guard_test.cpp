// Server protection: critical services, failed logons, the web site's configuration.
#include "inspect/server_guard.h"
#include "response/snapshots.h"
#include "scan_fixture.h"

class ServerGuardTest : public ScanTest {
 protected:
  void SetUp() override {
    ScanTest::SetUp();
    OsProfile.OsClass = kOsServer;
  }
  std::string AlertFile() { return HostBytes(DataDir + L"\\server_alerts.log"); }
};

TEST_F(ServerGuardTest, OnAWorkstationNothingHappensAtAll) {
  OsProfile.OsClass = kOsWorkstation;
  standin::AddService(L"W3SVC", L"C:\\Windows\\system32\\svchost.exe", false);
  standin::SetNewestEvent(L"Security", 4625);
  ServerGuardLoop();
  ServerProtectPass();
  EXPECT_TRUE(ActivityLines().empty());
  EXPECT_TRUE(standin::Sleeps().empty());
  EXPECT_FALSE(std::filesystem::exists(standin::HostPath(DataDir + L"\\server_alerts.log")));
}

TEST_F(ServerGuardTest, AStoppedWebServiceIsReportedEveryPassWithOneBalloon) {
  standin::AddService(L"W3SVC", L"C:\\Windows\\system32\\svchost.exe", false);
  standin::AddService(L"TermService", L"C:\\Windows\\system32\\svchost.exe", true);
  StopAfterSleeps(2);
  ServerGuardLoop();
  EXPECT_EQ(ActivityLines(), (std::vector<std::wstring>{L"[SERVER] Server protection on.",
                                                         L"[SERVER] Critical service not running: W3SVC",
                                                         L"[SERVER] Critical service not running: W3SVC"}));
  EXPECT_EQ(AlertFile(), "Critical service not running: W3SVC\r\nCritical service not running: W3SVC\r\n");
  EXPECT_EQ(standin::Balloons().size(), 1u);
  EXPECT_EQ(standin::Balloons()[0].first, L"Kestrune Server");
  EXPECT_EQ(standin::Sleeps(), (std::vector<uint64_t>{45000, 45000}));
}

TEST_F(ServerGuardTest, OnlyRunningOrMissingServicesMeanNoAlert) {
  standin::AddService(L"TermService", L"C:\\Windows\\system32\\svchost.exe", true);
  ServerProtectPass();
  standin::SetServiceManagerOpens(false);
  standin::AddService(L"MSSQLSERVER", L"C:\\sql\\sqlservr.exe", false);
  ServerProtectPass();
  EXPECT_TRUE(ActivityLines().empty());
}

TEST_F(ServerGuardTest, TheNewestSecurityEventDecides) {
  const struct {
    uint32_t event_id;
    bool alert;
  } cases[] = {{4625, true}, {0x80001211, true}, {4624, false}, {0x00011211, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.event_id);
    ResetActivityState();
    standin::SetNewestEvent(L"Security", c.event_id);
    CheckFailedLogon();
    EXPECT_EQ(ActivityLines().size(), c.alert ? 1u : 0u);
  }
  EXPECT_EQ(ActivityLines().empty() ? L"" : ActivityLines()[0],
            L"[SERVER] Failed logon recorded (possible RDP guessing).");
}

TEST_F(ServerGuardTest, AnEncryptedWebConfigIsRolledBack) {
  const std::wstring config = L"C:\\inetpub\\wwwroot\\web.config";
  ServerProtectPass();  // no web site: nothing
  EXPECT_TRUE(ActivityLines().empty());
  const std::string text = TextBytes(4000, "<configuration><system.webServer/></configuration>\r\n");
  PutFile(config, text);
  ServerProtectPass();  // the reference
  PutFile(config, RandomBytes(4000));
  ServerProtectPass();
  EXPECT_TRUE(Logged(L"[ROLLBACK] Restored after change: " + config + L" \u2014 replaced content kept in " +
                     ReplacedContentPathFor(SnapshotPathFor(config))));
  EXPECT_EQ(HostBytes(config), text);
}

TEST_F(ServerGuardTest, AlertsWithoutADataFolderGoUnderCKestruneAV) {
  DataDir.clear();
  RaiseServerAlert(L"Critical service not running: W3SVC");
  EXPECT_EQ(HostBytes(L"C:\\KestruneAV\\server_alerts.log"), "Critical service not running: W3SVC\r\n");
}
