#include "inspect/run_keys.h"
#include "standin_fixture.h"

namespace {
constexpr wchar_t kRun[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kRunOnce[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
using platform::RegistryHive;
}  // namespace

TEST(ExtractExecutablePathTest, CommandLines) {
  const struct {
    const wchar_t* command;
    const wchar_t* program;
  } cases[] = {
      {L"\"C:\\Program Files\\App\\app.exe\" /background", L"C:\\Program Files\\App\\app.exe"},
      {L"\"\"", L""},
      {L"C:\\Tools\\a.exe -x", L"C:\\Tools\\a.exe"},
      {L"C:\\Program Files\\App\\app.exe", L"C:\\Program"},
      {L"\"C:\\x.exe", L"\"C:\\x.exe"},
      {L"\"C:\\my dir\\x.exe", L"\"C:\\my"},
      {L"\"", L"\""},
      {L"%windir%\\x.exe", L"%windir%\\x.exe"},
      {L"", L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::string(c.command, c.command + wcslen(c.command)));
    EXPECT_EQ(ExtractExecutablePath(c.command), c.program);
  }
}

class RunKeysTest : public StandinTest {
 protected:
  void Put(RegistryHive hive, const wchar_t* key, const wchar_t* name, const wchar_t* data) {
    standin::SetRegistryString(hive, key, name, data);
  }
  std::vector<std::wstring> Names(RegistryHive hive, const wchar_t* key) {
    return standin::RegistryValueNames(hive, key);
  }
};

TEST_F(RunKeysTest, RemovalRules) {
  Put(RegistryHive::CurrentUser, kRun, L"copy", L"C:\\Users\\Bob\\AppData\\Roaming\\evil.exe /s");  // rule c
  Put(RegistryHive::CurrentUser, kRun, L"quoted", L"\"C:\\Users\\Bob\\Downloads\\evil.exe\" -q");  // rule a
  Put(RegistryHive::CurrentUser, kRun, L"system", L"C:\\Windows\\System32\\evil.exe");             // kept
  Put(RegistryHive::CurrentUser, kRun, L"bare", L"evil.exe");                                      // rule a
  Put(RegistryHive::CurrentUser, kRun, L"other", L"C:\\Apps\\good.exe");
  Put(RegistryHive::CurrentUser, kRunOnce, L"longer", L"\\\\?\\C:\\USERS\\BOB\\DOWNLOADS\\EVIL.EXE");  // rule b
  Put(RegistryHive::CurrentUser, kRunOnce, L"backup", L"C:\\USERS\\BOB\\DOWNLOADS\\EVIL.EXE.bak");  // another file
  standin::SetRegistryValue(RegistryHive::CurrentUser, kRunOnce, L"number", 4, std::string("\x01\0\0\0", 4));

  RunGuarded(L"registry-clean", [] { RemoveRunValuesFor(L"C:\\Users\\Bob\\Downloads\\evil.exe"); });
  EXPECT_EQ(Names(RegistryHive::CurrentUser, kRun), (std::vector<std::wstring>{L"system", L"other"}));
  EXPECT_EQ(Names(RegistryHive::CurrentUser, kRunOnce), (std::vector<std::wstring>{L"backup", L"number"}));
  EXPECT_EQ(ActivityLines(),
            (std::vector<std::wstring>{
                L"[PERSISTENCE] Removed Run value 'copy' for C:\\Users\\Bob\\Downloads\\evil.exe",
                L"[PERSISTENCE] Removed Run value 'quoted' for C:\\Users\\Bob\\Downloads\\evil.exe",
                L"[PERSISTENCE] Removed Run value 'bare' for C:\\Users\\Bob\\Downloads\\evil.exe",
                L"[PERSISTENCE] Removed Run value 'longer' for C:\\Users\\Bob\\Downloads\\evil.exe",
            }));
}

TEST_F(RunKeysTest, LongValuesAndNamesAreReadWholeAndHideNothingBehindThem) {
  const std::wstring evil = L"C:\\Users\\Bob\\Downloads\\evil.exe";
  std::wstring padded = L"\"" + evil + L"\" ";
  padded.resize(1500, L'-');  // 3,002 bytes with the terminator
  Put(RegistryHive::CurrentUser, kRun, L"first", evil.c_str());
  Put(RegistryHive::CurrentUser, kRun, L"big", std::wstring(1000, L'x').c_str());
  Put(RegistryHive::CurrentUser, kRun, std::wstring(300, L'n').c_str(), padded.c_str());
  // More than any command line Windows starts: never read, never matched.
  Put(RegistryHive::CurrentUser, kRun, L"huge", (evil + std::wstring(40000, L' ')).c_str());
  Put(RegistryHive::CurrentUser, kRun, L"behind", evil.c_str());
  // A path far into a long command line is still a reference.
  Put(RegistryHive::CurrentUser, kRunOnce, L"arg",
      (L"rundll32.exe " + std::wstring(1200, L' ') + L"C:\\USERS\\BOB\\x.dll,Start").c_str());

  EXPECT_TRUE(IsReferencedByRunKey(L"C:\\Users\\Bob\\x.dll"));
  RemoveRunValuesFor(evil);
  EXPECT_EQ(Names(RegistryHive::CurrentUser, kRun), (std::vector<std::wstring>{L"big", L"huge"}));
  EXPECT_EQ(ActivityLines().size(), 3u);
}

TEST_F(RunKeysTest, NothingIsRemovedForAnEmptyTargetOrWithoutWriteAccess) {
  Put(RegistryHive::CurrentUser, kRun, L"a", L"C:\\Apps\\a.exe");
  Put(RegistryHive::CurrentUser, kRun, L"folder", L"C:\\Users\\Bob\\AppData\\");
  RemoveRunValuesFor(L"");
  RemoveRunValuesFor(L"C:\\Other\\z.exe");  // a program path with no file name matches nothing
  EXPECT_EQ(Names(RegistryHive::CurrentUser, kRun).size(), 2u);

  Put(RegistryHive::LocalMachine, kRun, L"machine", L"C:\\Users\\Bob\\Downloads\\evil.exe");
  standin::SetHiveReadOnly(RegistryHive::LocalMachine, true);
  RemoveRunValuesFor(L"C:\\Users\\Bob\\Downloads\\evil.exe");
  EXPECT_EQ(Names(RegistryHive::LocalMachine, kRun), std::vector<std::wstring>{L"machine"});
  EXPECT_TRUE(ActivityLines().empty());
}

TEST_F(RunKeysTest, ReferenceSearchesWholeCommandLines) {
  Put(RegistryHive::CurrentUser, kRunOnce, L"arg", L"rundll32.exe C:\\USERS\\BOB\\x.dll,Start");
  Put(RegistryHive::LocalMachine, kRun, L"machine", L"C:\\Tools\\m.exe");
  EXPECT_TRUE(IsReferencedByRunKey(L"C:\\Users\\Bob\\x.dll"));  // an argument counts too
  EXPECT_FALSE(IsReferencedByRunKey(L"C:\\Tools\\m.exe"));      // machine keys only in admin mode
  EXPECT_FALSE(IsReferencedByRunKey(L""));
  AdminMode = true;
  EXPECT_TRUE(IsReferencedByRunKey(L"C:\\Tools\\m.exe"));
}

TEST(RegistryDataTextTest, StopsAtNulAndAtTheBytesRead) {
  EXPECT_EQ(RegistryDataText(std::string("a\0b\0\0\0c\0", 8)), L"ab");
  EXPECT_EQ(RegistryDataText(std::string("a\0b", 3)), L"a");  // an odd last byte is no character
  EXPECT_EQ(RegistryDataText(std::string("\x01\0\0\0", 4)), L"\x01");
}
