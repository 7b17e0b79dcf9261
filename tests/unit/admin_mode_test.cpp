// Admin mode and its saved choice, the elevated restart and the logon start.
#include "app/startup.h"
#include "scan_fixture.h"
#include "upkeep/admin_mode.h"
#include "upkeep/logon_start.h"

namespace {
constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kProgram[] = L"C:\\Program Files\\KestruneAV\\KestruneAV.exe";
const std::wstring kQuestion =
    L"Kestrune Admin Mode: First run: enable Admin Mode?\n\nAdmin Mode can read HKLM startup keys, Windows services, "
    L"scheduled tasks, and other users' folders.\n\nIt does not lock the app, cut Wi-Fi, or kill random processes.\n\n"
    L"Yes = restart elevated\nNo = stay in user mode";
}  // namespace

class AdminModeTest : public ScanTest {
 protected:
  void Save(const char* choice) {
    if (choice) PutFile(AdminPreferencePath, choice);
  }
  std::string Saved() {
    return std::filesystem::exists(standin::HostPath(AdminPreferencePath)) ? HostBytes(AdminPreferencePath) : "(none)";
  }
};

TEST_F(AdminModeTest, SavedChoiceMatrix) {
  const std::wstring kOn = L"[ADMIN] Admin mode ON. HKLM, services, and all-user folders enabled.";
  const std::wstring kOffSaved = L"[ADMIN] Admin mode OFF (saved choice). User-mode scan only.";
  const std::wstring kOffAsked = L"[ADMIN] Admin mode OFF. You can enable it later from the dashboard.";
  const std::wstring kDeclined = L"[ADMIN] Elevation declined or failed. Staying in user mode.";
  const struct {
    const char* what;
    bool administrator;
    const char* saved;  // nullptr: no file
    bool terms_pending;
    bool elevation_works;
    bool asked;
    std::vector<std::wstring> lines;
    std::string saved_after;
    bool process_ended;
  } cases[] = {
      {"admin over a saved no", true, "no", false, true, false, {kOn}, "yes", false},
      {"admin, no file, terms pending", true, nullptr, true, true, false, {kOn}, "yes", false},
      {"user, saved no", false, "no", false, true, false, {kOffSaved}, "no", false},
      {"user, saved no with CR LF", false, "no\r\n", false, true, false, {kOffSaved}, "no\r\n", false},
      {"user, saved yes: elevates unasked", false, "yes", false, true, false, {}, "yes", true},
      {"user, saved yes, prompt declined", false, "yes", false, false, false, {kDeclined}, "no", false},
      {"user, no file, terms pending", false, nullptr, true, true, false, {}, "(none)", false},
      {"user, no file: asked, No", false, nullptr, false, true, true, {kOffAsked}, "no", false},
      {"user, 'No': asked again", false, "No", false, true, true, {kOffAsked}, "no", false},
      {"user, 'no ': asked again", false, "no ", false, true, true, {kOffAsked}, "no", false},
      {"user, 'no ' with terms pending", false, "no ", true, true, false, {}, "no ", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    standin::SetAdministrator(c.administrator);
    standin::SetShellExecuteWorks(c.elevation_works);
    Save(c.saved);
    TermsPending.store(c.terms_pending);
    CheckAdminMode();
    EXPECT_EQ(AdminMode.load(), c.administrator);
    EXPECT_EQ(ActivityLines(), c.lines);
    EXPECT_EQ(Saved(), c.saved_after);
    EXPECT_EQ(standin::Questions(), c.asked ? std::vector<std::wstring>{kQuestion} : std::vector<std::wstring>{});
    EXPECT_EQ(standin::ProcessEndCodes(), c.process_ended ? std::vector<uint32_t>{0} : std::vector<uint32_t>{});
  }
}

TEST_F(AdminModeTest, YesToTheQuestionRestartsElevatedWithoutArguments) {
  TermsPending.store(false);
  standin::QueueYesNoAnswer(true);
  CheckAdminMode();
  EXPECT_EQ(standin::ShellExecutes(), std::vector<std::wstring>{std::wstring(L"runas|") + kProgram + L"|||normal|plain"});
  EXPECT_EQ(Saved(), "yes");
  EXPECT_EQ(standin::ProcessEndCodes(), std::vector<uint32_t>{0});
  EXPECT_TRUE(ActivityLines().empty());
}

TEST_F(AdminModeTest, ElevationWithoutTheProgramPathDoesNothing) {
  standin::SetModuleFilePath(L"");
  EXPECT_FALSE(RequestElevation());
  EXPECT_TRUE(standin::ShellExecutes().empty());
  EXPECT_EQ(Saved(), "(none)");
}

TEST_F(AdminModeTest, LogonStartIsOneQuotedPerUserValue) {
  standin::SetRegistryString(platform::RegistryHive::LocalMachine, kRunKey, L"KestruneAV", L"old");
  standin::SetShellFolder(platform::ShellFolder::Startup, L"C:\\Users\\bob\\Startup");
  standin::SetShellFolder(platform::ShellFolder::CommonStartup, L"C:\\ProgramData\\Startup");
  const std::wstring user_link = PutFile(L"C:\\Users\\bob\\Startup\\Kestrune AV.lnk", "link");
  const std::wstring common_link = PutFile(L"C:\\ProgramData\\Startup\\Kestrune AV.lnk", "link");
  RegisterLogonStart();

  std::vector<platform::RegistryValue> values;
  ASSERT_TRUE(platform::ReadRegistryValues(platform::RegistryHive::CurrentUser, kRunKey, 65536, values));
  ASSERT_EQ(values.size(), 1u);
  EXPECT_EQ(values[0].name, L"KestruneAV");
  EXPECT_EQ(values[0].type, 1u);
  const std::wstring data = L"\"C:\\Program Files\\KestruneAV\\KestruneAV.exe\" /background";
  ASSERT_EQ(values[0].data.size(), 2 * data.size() + 2);  // the terminating zero is stored
  for (std::size_t i = 0; i < data.size(); ++i) {
    EXPECT_EQ(static_cast<unsigned char>(values[0].data[2 * i]), static_cast<unsigned char>(data[i]));
    EXPECT_EQ(values[0].data[2 * i + 1], '\0');
  }
  EXPECT_TRUE(standin::RegistryValueNames(platform::RegistryHive::LocalMachine, kRunKey).empty());
  EXPECT_FALSE(std::filesystem::exists(standin::HostPath(user_link)));
  EXPECT_FALSE(std::filesystem::exists(standin::HostPath(common_link)));
  EXPECT_EQ(ActivityLines(), std::vector<std::wstring>{L"[STARTUP] One background start at logon."});
}

TEST_F(AdminModeTest, LogonStartWithoutMachineRightsKeepsTheOldMachineValue) {
  standin::SetRegistryString(platform::RegistryHive::LocalMachine, kRunKey, L"KestruneAV", L"old");
  standin::SetHiveReadOnly(platform::RegistryHive::LocalMachine, true);
  RegisterLogonStart();
  EXPECT_EQ(standin::RegistryValueNames(platform::RegistryHive::LocalMachine, kRunKey),
            std::vector<std::wstring>{L"KestruneAV"});
  EXPECT_EQ(standin::RegistryValueNames(platform::RegistryHive::CurrentUser, kRunKey),
            std::vector<std::wstring>{L"KestruneAV"});

  ResetActivityState();
  standin::SetModuleFilePath(L"");
  RegisterLogonStart();  // without its own path the program does nothing at all
  EXPECT_TRUE(ActivityLines().empty());
}

TEST_F(AdminModeTest, StartUpRunsTheStepsInOrder) {
  standin::SetAdministrator(true);
  RunStartupSteps();
  const auto lines = ActivityLines();
  const auto at = [&lines](const std::wstring& prefix) {
    return std::find_if(lines.begin(), lines.end(), [&](const auto& l) { return l.rfind(prefix, 0) == 0; }) -
           lines.begin();
  };
  EXPECT_LT(at(L"[SYSTEM] OS profile"), at(L"[STARTUP] One background start"));
  EXPECT_LT(at(L"[STARTUP] One background start"), at(L"[UPDATE] "));
  EXPECT_LT(at(L"[UPDATE] "), at(L"[ADMIN] Admin mode ON."));
  EXPECT_LT(at(L"[ADMIN] Admin mode ON."), at(L"[INTEGRITY] Definition backup refreshed."));
  EXPECT_LT(at(L"[INTEGRITY] Definition backup refreshed."), static_cast<long>(lines.size()));
  EXPECT_TRUE(AdminMode.load());
}
