// The write-trust check on real files and folders. Wine keeps no access lists: it
// reads back the user's own SID as the owner, with full control for the user, so
// under Wine nothing counts as changeable by administrators only, and the check
// must refuse every file and folder here. (On Windows, the installed Program Files
// folder passes.)
#include <windows.h>

#include <gtest/gtest.h>

#include "temp_folder.h"

#include <string>

#include "platform/file_trust.h"
#include "platform/win32/file_trust_rules.h"
#include "platform/processes.h"

namespace {
using platform::WriteTrust;

class FileTrustWin32 : public TempFolderTest {
 protected:
  std::wstring MakeFile(const wchar_t* name) {
    const std::wstring path = root_ + L"\\" + name;
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                    nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, "MZ", 2, &written, nullptr);
    CloseHandle(file);
    return path;
  }
};

TEST_F(FileTrustWin32, UnderWineTheUsersOwnFilesAndFoldersAreRefused) {
  const std::wstring file = MakeFile(L"KestruneUpdater.exe");
  bool ran = false;
  EXPECT_EQ(platform::WithAdminOnlyFile(file, [&] { ran = true; }), WriteTrust::OthersMayWrite);
  EXPECT_FALSE(ran);
  EXPECT_EQ(platform::FolderWriteTrust(root_), WriteTrust::OthersMayWrite);
  // Wine's system folder too: it belongs to the user as well.
  EXPECT_EQ(platform::FolderWriteTrust(platform::SystemFolder()), WriteTrust::OthersMayWrite);
}

TEST_F(FileTrustWin32, KindAndPresenceAreCheckedOnTheObjectItself) {
  const std::wstring file = MakeFile(L"updater.exe");
  CreateDirectoryW((root_ + L"\\KestruneUpdater.exe").c_str(), nullptr);
  bool ran = false;
  const auto never = [&] { ran = true; };
  EXPECT_EQ(platform::WithAdminOnlyFile(root_ + L"\\KestruneUpdater.exe", never), WriteTrust::WrongKind);
  EXPECT_EQ(platform::FolderWriteTrust(file), WriteTrust::WrongKind);
  EXPECT_EQ(platform::WithAdminOnlyFile(root_ + L"\\missing.exe", never), WriteTrust::Unreadable);
  EXPECT_EQ(platform::FolderWriteTrust(root_ + L"\\missing"), WriteTrust::Unreadable);
  EXPECT_FALSE(ran);
}

TEST_F(FileTrustWin32, AFileOpenForWritingCannotBeHeld) {
  // The hold shares reads only, so it cannot be had while somebody may still write.
  const std::wstring file = MakeFile(L"KestruneUpdater.exe");
  const HANDLE writer = CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  EXPECT_EQ(platform::WithAdminOnlyFile(file, [] {}), WriteTrust::Unreadable);
  CloseHandle(writer);
}
}  // namespace

namespace {
TEST(FileTrustRulesWin32, OwnerAndWriteGrantsDecide) {
  const std::wstring kTi = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
  // What an installer gives a Program Files folder: full control for SYSTEM and
  // Administrators, read and run for Users, the creator's rights only for what is made inside.
  const std::wstring kInstalled = L"(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;BU)(A;OICIIO;GA;;;CO)";
  const struct {
    const char* what;
    std::wstring sddl;
    WriteTrust trust;
  } cases[] = {
      {"installed, owned by Administrators", L"O:BAD:P" + kInstalled, WriteTrust::AdminsOnly},
      {"owned by SYSTEM", L"O:SYD:P" + kInstalled, WriteTrust::AdminsOnly},
      {"owned by TrustedInstaller, which may write", L"O:" + kTi + L"D:P(A;;FA;;;" + kTi + L")" + kInstalled,
       WriteTrust::AdminsOnly},
      {"an empty list lets nobody write", L"O:BAD:P", WriteTrust::AdminsOnly},
      {"a denial grants nothing", L"O:BAD:P(D;;FA;;;WD)" + kInstalled, WriteTrust::AdminsOnly},
      {"reading for everybody", L"O:BAD:P(A;;FR;;;WD)" + kInstalled, WriteTrust::AdminsOnly},
      {"owned by Users", L"O:BUD:P" + kInstalled, WriteTrust::OthersMayWrite},
      {"owned by a user", L"O:S-1-5-21-1-2-3-1001D:P" + kInstalled, WriteTrust::OthersMayWrite},
      {"no owner", L"D:P" + kInstalled, WriteTrust::OthersMayWrite},
      // A NULL list and none at all read back alike (Wine parses "D:NO_ACCESS_CONTROL"
      // as an empty list, so the NULL list is written here as none).
      {"no list at all", L"O:BA", WriteTrust::OthersMayWrite},
      // (Entries of other kinds count as writes by others too; Wine's parser makes none.)
      {"the creator's rights on the object itself", L"O:BAD:P(A;;GA;;;CO)" + kInstalled, WriteTrust::OthersMayWrite},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(platform::win32::TrustOfDescriptorText(c.sddl), c.trust);
  }
}

TEST(FileTrustRulesWin32, EveryWriteRightOfUsersIsRefused) {
  static const wchar_t* const kRights[] = {
      L"0x2",        // FILE_WRITE_DATA, add a file
      L"0x4",        // FILE_APPEND_DATA, add a folder
      L"0x10",       // FILE_WRITE_EA
      L"0x40",       // FILE_DELETE_CHILD
      L"0x100",      // FILE_WRITE_ATTRIBUTES
      L"SD",         // DELETE
      L"WD",         // WRITE_DAC
      L"WO",         // WRITE_OWNER
      L"GW",         // GENERIC_WRITE
      L"GA",         // GENERIC_ALL
      L"0x2000000",  // MAXIMUM_ALLOWED
  };
  for (const wchar_t* right : kRights) {
    SCOPED_TRACE(std::string(right, right + wcslen(right)));
    EXPECT_EQ(platform::win32::TrustOfDescriptorText(L"O:BAD:P(A;;FA;;;SY)(A;;" + std::wstring(right) + L";;;BU)"),
              WriteTrust::OthersMayWrite);
    // The same right for Administrators is theirs to have.
    EXPECT_EQ(platform::win32::TrustOfDescriptorText(L"O:BAD:P(A;;FA;;;SY)(A;;" + std::wstring(right) + L";;;BA)"),
              WriteTrust::AdminsOnly);
  }
}
}  // namespace
