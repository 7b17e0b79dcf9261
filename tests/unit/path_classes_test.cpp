#include "engine/path_classes.h"
#include "standin_fixture.h"

TEST(PathClassesTest, LowerCasingTouchesOnlyAsciiLetters) {
  EXPECT_EQ(ToLowerAscii(std::wstring_view(L"C:\\WINDOWS\\\u00C9T\u00C9 Z9")), L"c:\\windows\\\u00C9t\u00C9 z9");
}

TEST(PathClassesTest, ClassesByPath) {
  const struct {
    const wchar_t* path;
    bool system, user_writable, core, excluded;
  } cases[] = {
      {L"C:\\WINDOWS\\System32\\drivers\\x.sys", true, false, true, false},  // upper case lower-cased first
      {L"C:\\Windows\\System32x\\a.exe", false, false, true, false},         // pattern ends with a separator
      {L"D:\\Program Files (x86)\\App\\a.exe", true, false, false, false},   // any drive
      {L"C:\\Users\\Public\\Documents\\a.exe", false, true, false, false},
      {L"C:\\Users\\bob\\Desktop\\a.exe", false, true, false, false},
      {L"C:\\Users\\bob\\Documents\\a.exe", false, false, false, false},
      {L"C:\\Users\\bob\\\u00C1PPDATA\\a.exe", false, false, false, false},  // accented letter stays
      {L"C:\\Users\\bob\\AppData\\Local\\Temp\\a.exe", false, true, false, false},
      {L"C:\\pagefile.sys", false, false, false, true},
      {L"D:\\$Recycle.Bin\\S-1-5\\x.exe", false, false, false, true},
      {L"C:\\Windows\\WinSxS\\x.dll", false, false, true, true},
      {L"C:\\WinSxS\\x.dll", false, false, true, false},
      {L"C:\\$WINDOWS.~BT\\Sources\\setup.exe", false, false, true, false},
      {L"X:\\EFI\\Microsoft\\Boot\\bootmgfw.efi", false, false, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::string(c.path, c.path + wcslen(c.path)));
    EXPECT_EQ(IsSystemLocation(c.path), c.system);
    EXPECT_EQ(IsUserWritableLocation(c.path), c.user_writable);
    EXPECT_EQ(IsWindowsCorePath(c.path), c.core);
    EXPECT_EQ(IsExcludedFromScan(c.path), c.excluded);
  }
}

TEST(PathClassesTest, FileNameAndExtension) {
  const struct {
    const wchar_t* path;
    const wchar_t* name;
    const wchar_t* ext;
  } cases[] = {
      {L"C:\\a\\Setup.EXE", L"Setup.EXE", L".EXE"},
      {L"C:/a/b.tar.gz", L"b.tar.gz", L".gz"},
      {L"C:\\a\\.profile", L".profile", L""},      // a leading dot does not count
      {L"C:\\a\\.tmp", L".tmp", L""},
      {L"C:\\a\\..", L"..", L""},
      {L"C:\\a\\.", L".", L""},
      {L"C:\\a\\noext", L"noext", L""},
      {L"C:\\a\\x.txt:evil.exe", L"x.txt:evil.exe", L".txt"},  // a stream name ends the name
      {L"C:evil.js", L"evil.js", L".js"},
      {L"trailing.", L"trailing.", L"."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::string(c.path, c.path + wcslen(c.path)));
    EXPECT_EQ(FileNameOf(c.path), c.name);
    EXPECT_EQ(ExtensionOf(c.path), c.ext);
  }
}

using PathFilesTest = StandinTest;

TEST_F(PathFilesTest, QuarantineFolderIsAPrefixWithoutSeparatorInAnyCase) {
  QuarantineDir = L"C:\\ProgramData\\KestruneAV\\Quarantine";
  EXPECT_TRUE(IsExcludedFromScan(L"c:\\programdata\\kestruneav\\quarantine\\x.exe.quarantine"));
  EXPECT_TRUE(IsExcludedFromScan(L"C:\\ProgramData\\KestruneAV\\QuarantineOld\\a.exe"));
  EXPECT_FALSE(IsExcludedFromScan(L"D:\\C\\ProgramData\\KestruneAV\\Quarantine\\a.exe"));
  QuarantineDir.clear();
  EXPECT_FALSE(IsExcludedFromScan(L"C:\\ProgramData\\KestruneAV\\Quarantine\\a.exe"));
}

TEST_F(PathFilesTest, CompleteFilesOnly) {
  for (const wchar_t* name : {L"setup.exe.crdownload", L"movie.part", L"a.TMP", L"report.crdownload.pdf", L"x.opdownload"}) {
    PutFile(std::wstring(L"C:\\dl\\") + name, "data");
  }
  PutFile(L"C:\\dl\\empty.exe", "");
  PutFile(L"C:\\dl\\.tmp", "data");
  PutFile(L"C:\\dl\\ok.exe", "data");
  const struct {
    const wchar_t* path;
    bool complete;
  } cases[] = {
      {L"C:\\dl\\setup.exe.crdownload", false}, {L"C:\\dl\\movie.part", false},
      {L"C:\\dl\\a.TMP", false},                {L"C:\\dl\\report.crdownload.pdf", false},
      {L"C:\\dl\\x.opdownload", false},         {L"C:\\dl\\empty.exe", false},
      {L"C:\\dl", false},                       {L"C:\\dl\\missing.exe", false},
      {L"C:\\dl\\.tmp", true},                  {L"C:\\dl\\ok.exe", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::string(c.path, c.path + wcslen(c.path)));
    EXPECT_EQ(IsCompleteFile(c.path), c.complete);
  }
}

TEST_F(PathFilesTest, MicrosoftFilesNeedASignatureOnlyOutsideWindowsFolders) {
  EXPECT_TRUE(IsMicrosoftFile(L"C:\\Windows\\Temp\\x.exe"));
  EXPECT_TRUE(IsMicrosoftFile(L"C:\\Program Files\\WindowsApps\\x.exe"));
  EXPECT_FALSE(IsMicrosoftFile(L"C:\\Apps\\Microsoft\\tool.exe"));
  standin::MarkSigned(L"C:\\Apps\\Microsoft\\tool.exe");
  EXPECT_TRUE(IsMicrosoftFile(L"C:\\Apps\\Microsoft\\tool.exe"));
  standin::MarkSigned(L"C:\\Apps\\Other\\tool.exe");
  EXPECT_FALSE(IsMicrosoftFile(L"C:\\Apps\\Other\\tool.exe"));
}
