// The VPN panel's dials and fallbacks: the system folder's own tools, entry names that
// cannot add switches, and no shell lookup from an elevated program.
#include "argv_split.h"
#include "standin_fixture.h"
#include "ui/vpn_panel.h"

namespace {
const std::wstring kSystem = L"C:\\Windows\\System32";
const std::wstring kRasdial = kSystem + L"\\rasdial.exe";
const std::wstring kRasphone = kSystem + L"\\rasphone.exe";
const std::wstring kCountryDial = L"\"" + kRasdial + L"\" \"KestruneVPN_USA\"";

standin::ProgramStart Dialled(const std::wstring& quoted_entry) {
  return {kRasdial, L"\"" + kRasdial + L"\" " + quoted_entry, kSystem, L"hidden"};
}

class VpnTest : public StandinTest {
 protected:
  void SetUp() override {
    StandinTest::SetUp();
    OsProfile.IsWorkstation = true;
    OsProfile.BuildNumber = 19045;
    VpnConnected = false;
    VpnStatusText.clear();
  }
};

TEST_F(VpnTest, ConnectFallsBackToThePhoneBookThenToWhereProfilesAreAdded) {
  const std::wstring kAdd = L"Add Windows profile USA first";
  const std::wstring kAddElevated = kAdd + L" (Settings > Network & internet > VPN)";
  const standin::ProgramStart kPhoneBookDialog{kRasphone, L"\"" + kRasphone + L"\"", kSystem, L"shown"};
  const struct {
    const char* what;
    std::vector<std::wstring> phonebook;
    bool office_dials;
    uint32_t build;
    bool admin;
    bool connected;
    std::vector<standin::ProgramStart> starts;
    std::vector<std::wstring> shell_opens;
    std::wstring status;
  } cases[] = {
      {"first phone-book entry", {L"Office", L"Home"}, true, 19045, false, true, {Dialled(L"\"Office\"")}, {},
       L"Connecting USA"},
      {"no entry: the VPN settings", {}, true, 19045, false, false, {}, {L"ms-settings:network-vpn||(shown)"}, kAdd},
      {"entry fails: the VPN settings", {L"Office"}, false, 19045, false, false, {},
       {L"ms-settings:network-vpn||(shown)"}, kAdd},
      {"elevated: no shell lookup, the way there instead", {}, true, 19045, true, false, {}, {}, kAddElevated},
      {"elevated, entry fails: the same", {L"Office"}, false, 19045, true, false, {}, {}, kAddElevated},
      {"old Windows: the phone-book dialog", {}, true, 9600, false, false, {kPhoneBookDialog}, {}, kAdd},
      {"old Windows, elevated: the same dialog", {}, true, 9600, true, false, {kPhoneBookDialog}, {}, kAdd},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    OsProfile.BuildNumber = c.build;
    AdminMode.store(c.admin);
    standin::FailStartOf(kCountryDial);
    if (!c.office_dials) standin::FailStartOf(Dialled(L"\"Office\"").command_line);
    standin::SetPhonebookEntries(c.phonebook);
    EXPECT_EQ(ConnectVpn("USA"), c.connected);
    EXPECT_EQ(VpnConnected.load(), c.connected);
    EXPECT_EQ(standin::ProgramStarts(), c.starts);
    EXPECT_EQ(standin::ShellOpens(), c.shell_opens);
    EXPECT_EQ(VpnStatusText, c.status);
    EXPECT_LE(VpnStatusText.size(), 127u);
  }
}

TEST_F(VpnTest, AnEntryNameIsOneArgumentExactlyAsWritten) {
  static const std::wstring kNames[] = {
      L"x\" /PHONEBOOK:C:\\evil.pbk \"",  // a quote to close the argument and add a switch
      L"Office\" /disconnect",
      L"Office\\",                        // a trailing backslash that would eat the closing quote
      L"Office\\\\\" /d",                 // backslashes before a quote
      L"Home VPN",
  };
  for (const auto& name : kNames) {
    SCOPED_TRACE(std::string(name.begin(), name.end()));
    SetUp();
    standin::FailStartOf(kCountryDial);
    standin::SetPhonebookEntries({name});
    EXPECT_TRUE(ConnectVpn("USA"));
    const auto starts = standin::ProgramStarts();
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].program, kRasdial);
    EXPECT_EQ(SplitArguments(starts[0].command_line), (std::vector<std::wstring>{kRasdial, name}));
  }
}

TEST_F(VpnTest, AnEntryNameThatRasdialWouldReadAsASwitchIsNotDialled) {
  static const std::wstring kNames[] = {
      L"/disconnect",            // a switch even in quotes
      L"-PHONEBOOK:C:\\evil.pbk",
      L"  /d",                   // after blanks
      L"Office\r\n/disconnect",  // control characters
      L"Office\x7f",
  };
  for (const auto& name : kNames) {
    SCOPED_TRACE(std::string(name.begin(), name.end()));
    SetUp();
    standin::FailStartOf(kCountryDial);
    standin::SetPhonebookEntries({name, L"Office"});
    EXPECT_FALSE(ConnectVpn("USA"));
    EXPECT_TRUE(standin::ProgramStarts().empty());
    // As when the phone book holds no entry.
    EXPECT_EQ(standin::ShellOpens(), std::vector<std::wstring>{L"ms-settings:network-vpn||(shown)"});
    EXPECT_EQ(VpnStatusText, L"Add Windows profile USA first");
  }
}

TEST_F(VpnTest, DisconnectUsesTheSystemFoldersRasdial) {
  AdminMode.store(true);
  VpnConnected = true;
  DisconnectVpn();
  EXPECT_EQ(standin::ProgramStarts(), std::vector<standin::ProgramStart>{Dialled(L"/disconnect")});
  EXPECT_TRUE(standin::ShellOpens().empty());
  EXPECT_FALSE(VpnConnected.load());
  EXPECT_EQ(VpnStatusText, L"Disconnected");
}
}  // namespace
