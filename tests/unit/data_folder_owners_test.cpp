// Whose data folder a run uses, and that nothing another account or an unelevated
// program wrote can steer what an elevated run reads, trusts or keeps.
#include <filesystem>
#include <fstream>

#include "app/text_file.h"
#include "platform/files.h"
#include "platform/shell_folders.h"
#include "standin_fixture.h"

namespace {

const std::wstring kMachineData = L"C:\\ProgramData\\KestruneAV";
const std::wstring kUserData = L"C:\\Users\\bob\\AppData\\Local\\KestruneAV";
const std::string kPlantedHash = std::string(64, 'a');

class DataFolderOwnersTest : public StandinTest {
 protected:
  void SetUp() override {
    StandinTest::SetUp();
    standin::SetKnownFolder(platform::KnownFolder::ProgramData, L"C:\\ProgramData");
    standin::SetKnownFolder(platform::KnownFolder::LocalAppData, L"C:\\Users\\bob\\AppData\\Local");
  }
  void Put(const std::wstring& path, const std::string& bytes) {
    const std::filesystem::path host = standin::HostPath(path);
    std::filesystem::create_directories(host.parent_path());
    std::ofstream(host, std::ios::binary) << bytes;
  }
  std::string Read(const std::wstring& path) {
    std::ifstream in(standin::HostPath(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  bool Logged(const std::wstring& line) {
    const auto lines = ActivityLines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
  // A second start of the program on the same machine.
  void Restart(bool elevated) {
    ResetActivityState();
    ResetDataPathsForTest();
    ResetHashListsForTest();
    {
      std::lock_guard<std::mutex> hold(ScanIndexLock);
      ScanIndex.clear();
    }
    IntegrityEventCount.store(0);
    AdminMode.store(false);
    standin::SetAdministrator(elevated);
  }
  // What a folder made by another account holds: lists that would steer the program,
  // a sidecar that would send a restore elsewhere, and a link to a system folder.
  std::filesystem::path PlantForeignFolder() {
    const std::vector<std::wstring> planted = {L"\\safe-hashes.txt", L"\\scan-index.dat", L"\\Quarantine\\tool.exe.log",
                                    L"\\admin_preference.txt"};
    Put(kMachineData + planted[0], kPlantedHash + "\r\n");
    Put(kMachineData + planted[1], "C:\\Users\\bob\\Downloads\\evil.exe\t1\t1\r\n");
    Put(kMachineData + planted[2], "original=C:\\Windows\\System32\\drivers\\x.sys\r\n");
    Put(kMachineData + planted[3], "no");
    const std::filesystem::path outside = drive_c_ / "Windows" / "System32";
    std::filesystem::create_directories(outside);
    std::ofstream(outside / "config.sys", std::ios::binary) << "system";
    std::filesystem::create_directory_symlink(outside, standin::HostPath(kMachineData + L"\\Snapshots"));
    standin::SetPathSecurity(kMachineData, {L"mallory", {L"SYSTEM", L"Administrators", L"mallory"}});
    for (const auto& tail : planted) standin::SetPathSecurity(kMachineData + tail, {L"mallory", {L"mallory"}});
    return outside;
  }
};

TEST_F(DataFolderOwnersTest, AnElevatedRunKeepsItsDataForAdministratorsAloneAndIgnoresTheEnvironment) {
  standin::SetAdministrator(true);
  standin::SetEnvironment(L"ProgramData", L"C:\\Users\\bob\\Fake");
  InitPaths();
  EXPECT_EQ(DataDir, kMachineData);
  EXPECT_EQ(QuarantineDir, kMachineData + L"\\Quarantine");
  EXPECT_EQ(DataFolderAudience, platform::FolderAudience::AdministratorsOnly);
  EXPECT_FALSE(std::filesystem::exists(drive_c_ / "Users" / "bob" / "Fake"));
  for (const std::wstring& folder : {DataDir, QuarantineDir, SnapshotsDir}) {
    SCOPED_TRACE(std::string(folder.begin(), folder.end()));
    standin::PathSecurity security;
    ASSERT_TRUE(standin::PathSecurityOf(folder, security));
    EXPECT_EQ(security.owner, L"Administrators");
    EXPECT_EQ(security.grantees, (std::vector<std::wstring>{L"SYSTEM", L"Administrators"}));
    EXPECT_TRUE(standin::IsFolderHeld(folder));
  }
  // Held open without delete sharing: it cannot be renamed away and replaced.
  EXPECT_FALSE(platform::MoveFileTo(DataDir, DataDir + L".old"));
  EXPECT_TRUE(std::filesystem::is_directory(standin::HostPath(DataDir)));
  for (const auto& line : ActivityLines()) EXPECT_EQ(line.rfind(L"[SECURITY] ", 0), std::wstring::npos);
}

TEST_F(DataFolderOwnersTest, ARunThatIsNotElevatedKeepsItsOwnFolderInTheUsersProfile) {
  InitPaths();
  EXPECT_EQ(DataDir, kUserData);
  EXPECT_EQ(TermsPath, kUserData + L"\\terms_accepted.txt");
  standin::PathSecurity security;
  ASSERT_TRUE(standin::PathSecurityOf(DataDir, security));
  EXPECT_EQ(security.owner, L"user");
  EXPECT_EQ(security.grantees, (std::vector<std::wstring>{L"SYSTEM", L"Administrators", L"user"}));
  EXPECT_FALSE(std::filesystem::exists(standin::HostPath(kMachineData)));
}

TEST_F(DataFolderOwnersTest, AFolderAnotherAccountMadeFirstIsMovedAsideWholeAndNothingInItIsUsed) {
  const std::filesystem::path outside = PlantForeignFolder();
  standin::SetAdministrator(true);
  InitPaths();
  CheckAdminMode();

  ASSERT_EQ(DataDir, kMachineData);
  const auto lines = ActivityLines();
  const auto moved = std::find_if(lines.begin(), lines.end(), [](const std::wstring& line) {
    return line.rfind(L"[SECURITY] Folder made by another account moved aside, nothing in it is used: " +
                          kMachineData + L" -> " + kMachineData + L".moved-",
                      0) == 0;
  });
  ASSERT_NE(moved, lines.end());
  // The fresh folder holds only what this run made, all of it the administrators'.
  for (const auto& entry : std::filesystem::recursive_directory_iterator(standin::HostPath(DataDir))) {
    EXPECT_FALSE(entry.is_symlink()) << entry.path();
  }
  for (const auto* tail : {L"", L"\\safe-hashes.txt", L"\\scan-index.dat", L"\\Quarantine\\tool.exe.log",
                           L"\\admin_preference.txt", L"\\Snapshots"}) {
    standin::PathSecurity security;
    if (standin::PathSecurityOf(kMachineData + tail, security)) {
      EXPECT_NE(security.owner, L"mallory") << std::wstring(tail).size();
    }
  }
  EXPECT_FALSE(IsSafeHash(std::wstring(kPlantedHash.begin(), kPlantedHash.end())));
  {
    std::lock_guard<std::mutex> hold(ScanIndexLock);
    EXPECT_TRUE(ScanIndex.empty());
  }
  EXPECT_TRUE(std::filesystem::is_directory(standin::HostPath(SnapshotsDir)));
  EXPECT_FALSE(std::filesystem::is_symlink(standin::HostPath(SnapshotsDir)));
  EXPECT_EQ(Read(AdminPreferencePath), "yes");
  // The link's target was never entered, and the planted folder is kept aside as it was.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(outside), {}), 1);
  std::ifstream config(outside / "config.sys", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(config), {}), "system");
  const std::wstring aside = moved->substr(moved->find(L" -> ") + 4);
  EXPECT_EQ(Read(aside + L"\\safe-hashes.txt"), kPlantedHash + "\r\n");
}

TEST_F(DataFolderOwnersTest, AnUnelevatedRunCannotSteerTheElevatedRun) {
  // The user's own run, and what any unelevated program of that user can write
  // into the user's folder.
  InitPaths();
  ASSERT_EQ(DataDir, kUserData);
  Put(SafeHashesPath, kPlantedHash + "\r\n");
  Put(ScanIndexPath, "C:\\Users\\bob\\Downloads\\evil.exe\t1\t1\r\n");
  Put(AdminPreferencePath, "no");
  Put(EngineMarkerPath, std::string(64, '\x9c'));
  Put(EngineMarkerBackupPath, std::string(64, '\x9c'));
  Put(kUserData + L"\\Quarantine\\tool.exe.log", "original=C:\\Windows\\System32\\drivers\\x.sys\r\n");

  Restart(true);
  InitPaths();
  CheckAdminMode();
  EXPECT_EQ(DataDir, kMachineData);
  EXPECT_TRUE(AdminMode.load());
  EXPECT_FALSE(IsSafeHash(std::wstring(kPlantedHash.begin(), kPlantedHash.end())));
  {
    std::lock_guard<std::mutex> hold(ScanIndexLock);
    EXPECT_TRUE(ScanIndex.empty());
  }
  EXPECT_EQ(IntegrityEventCount.load(), 0u);
  EXPECT_EQ(Read(AdminPreferencePath), "yes");
  EXPECT_FALSE(std::filesystem::exists(standin::HostPath(QuarantineDir + L"\\tool.exe.log")));
  // The elevated run wrote nothing into the user's folder.
  EXPECT_EQ(Read(kUserData + L"\\admin_preference.txt"), "no");
}

TEST_F(DataFolderOwnersTest, TermsAcceptedInTheUsersRunSpareTheElevatedRunThePage) {
  Put(kUserData + L"\\terms_accepted.txt", "yes");
  standin::SetAdministrator(true);
  InitPaths();
  EXPECT_FALSE(TermsPending.load());
}

TEST_F(DataFolderOwnersTest, ALinkInPlaceOfTheUsersTermsIsNotFollowedByTheElevatedRun) {
  // "yes" that the elevated run would read only through a link the user's programs planted.
  Put(L"C:\\Users\\bob\\Elsewhere\\terms_accepted.txt", "yes");
  std::filesystem::create_directories(standin::HostPath(L"C:\\Users\\bob\\AppData\\Local"));
  std::filesystem::create_directory_symlink(standin::HostPath(L"C:\\Users\\bob\\Elsewhere"),
                                            standin::HostPath(kUserData));
  standin::SetAdministrator(true);
  InitPaths();
  EXPECT_TRUE(TermsPending.load());
}

TEST_F(DataFolderOwnersTest, AServerAlertWithoutADataFolderGoesOnlyIntoAGuardedCKestruneAV) {
  // The machine folder is a link, so there is no data folder; C:\KestruneAV was made by
  // another account and is moved aside before the alert is written into a fresh one.
  std::filesystem::create_directories(drive_c_ / "Elsewhere");
  std::filesystem::create_directories(drive_c_ / "ProgramData");
  std::filesystem::create_directory_symlink(drive_c_ / "Elsewhere", standin::HostPath(kMachineData));
  Put(L"C:\\KestruneAV\\server_alerts.log", "planted\r\n");
  standin::SetPathSecurity(L"C:\\KestruneAV", {L"mallory", {L"mallory"}});
  standin::SetAdministrator(true);
  InitPaths();
  ASSERT_TRUE(DataDir.empty());
  RaiseServerAlert(L"Service W3SVC stopped");
  EXPECT_EQ(Read(L"C:\\KestruneAV\\server_alerts.log"), "Service W3SVC stopped\r\n");
  standin::PathSecurity security;
  ASSERT_TRUE(standin::PathSecurityOf(L"C:\\KestruneAV", security));
  EXPECT_EQ(security.owner, L"Administrators");
  EXPECT_TRUE(std::filesystem::is_empty(drive_c_ / "Elsewhere"));
}

}  // namespace
