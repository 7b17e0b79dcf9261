// The data folder's access list and the writers' refusal of planted links, on the
// real file system.
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/files.h"
#include "platform/verified_files.h"
#include "platform/win32/guarded_folder.h"
#include "temp_folder.h"

namespace {

using DataFolderWin32Test = TempFolderTest;

std::wstring UserSidText() {
  HANDLE token = nullptr;
  EXPECT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  alignas(TOKEN_USER) BYTE buffer[512];
  DWORD needed = 0;
  EXPECT_TRUE(GetTokenInformation(token, TokenUser, buffer, sizeof(buffer), &needed));
  CloseHandle(token);
  LPWSTR text = nullptr;
  EXPECT_TRUE(ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text));
  const std::wstring sid = text ? text : L"";
  LocalFree(text);
  return sid;
}

// The folder's access list in security-descriptor language, as the system reads it back.
std::wstring AccessListOf(const std::wstring& path) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                            nullptr, &descriptor) != ERROR_SUCCESS) {
    return L"(unreadable)";
  }
  LPWSTR text = nullptr;
  ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                       &text, nullptr);
  const std::wstring sddl = text ? text : L"(none)";
  LocalFree(text);
  LocalFree(descriptor);
  return sddl;
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// Whether this file system keeps the lists it is given (Windows does; Wine reads one
// back from the Unix mode bits, with the user as owner).
bool ListsAreKept(const std::wstring& root) {
  const std::wstring probe = root + L"\\list-probe";
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;OICI;FA;;;SY)", SDDL_REVISION_1, &descriptor, nullptr);
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
  CreateDirectoryW(probe.c_str(), &attributes);
  LocalFree(descriptor);
  const bool kept = AccessListOf(probe) == L"D:P(A;OICI;FA;;;SY)";
  RemoveDirectoryW(probe.c_str());
  return kept;
}

bool IsEmptyFolder(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return true;
  int entries = 0;
  do {
    const std::wstring name = found.cFileName;
    entries += name != L"." && name != L"..";
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return entries == 0;
}

using platform::FolderAudience;

TEST_F(DataFolderWin32Test, TheListsAreWrittenForTheirAudience) {
  EXPECT_EQ(Narrow(platform::win32::GuardedFolderAccessList(FolderAudience::AdministratorsOnly)),
            "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)");
  EXPECT_EQ(Narrow(platform::win32::GuardedFolderAccessList(FolderAudience::AdministratorsAndUser)),
            Narrow(L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;" + UserSidText() + L")"));
}

TEST_F(DataFolderWin32Test, ANewFolderIsAdministratorsAloneAndIsNeverMovedAsideLater) {
  const std::wstring folder = root_ + L"\\ProgramData\\KestruneAV";
  ASSERT_EQ(platform::MakeGuardedFolder(folder, FolderAudience::AdministratorsOnly), platform::GuardedFolder::Ready);
  std::wstring moved;
  const auto again = platform::MakeGuardedFolder(folder, FolderAudience::AdministratorsOnly, &moved);
  if (ListsAreKept(root_)) {
    EXPECT_EQ(Narrow(AccessListOf(folder)), "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)");
    EXPECT_TRUE(platform::win32::FolderOwnedByAudience(folder, FolderAudience::AdministratorsOnly));
    EXPECT_EQ(again, platform::GuardedFolder::Ready);
  } else {
    // Wine keeps no lists: the owner it reads back is the user, so the folder cannot
    // be told from another's; it is used as it is and said to be unguarded.
    EXPECT_EQ(again, platform::GuardedFolder::NotGuarded) << Narrow(AccessListOf(folder));
  }
  EXPECT_TRUE(moved.empty());
}

TEST_F(DataFolderWin32Test, AFolderEverybodyMayWriteToIsMovedAsideWhereListsAreKept) {
  const std::wstring folder = root_ + L"\\KestruneAV";
  PSECURITY_DESCRIPTOR open_descriptor = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;OICI;FA;;;WD)", SDDL_REVISION_1,
                                                                   &open_descriptor, nullptr));
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), open_descriptor, FALSE};
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), &attributes));
  LocalFree(open_descriptor);
  ASSERT_TRUE(platform::WriteFileBytes(folder + L"\\safe-hashes.txt", "planted"));
  std::wstring moved;
  const auto state = platform::MakeGuardedFolder(folder, FolderAudience::AdministratorsOnly, &moved);
  if (!ListsAreKept(root_)) {
    EXPECT_EQ(state, platform::GuardedFolder::NotGuarded);
    EXPECT_TRUE(moved.empty());
    return;
  }
  ASSERT_EQ(state, platform::GuardedFolder::MovedAside);
  EXPECT_TRUE(IsEmptyFolder(folder));
  std::string planted;
  EXPECT_TRUE(platform::ReadFileBytes(moved + L"\\safe-hashes.txt", planted));
  EXPECT_TRUE(platform::win32::FolderOwnedByAudience(folder, FolderAudience::AdministratorsOnly));
}

TEST_F(DataFolderWin32Test, AFolderLinkPlantedInItsPlaceIsRefusedAndNeverEntered) {
  const std::wstring target = root_ + L"\\System32";
  ASSERT_TRUE(CreateDirectoryW(target.c_str(), nullptr));
  const std::wstring folder = root_ + L"\\KestruneAV";
  if (!PlantUnixFolderLink(folder, target)) GTEST_SKIP() << "no Unix symbolic links here (not Wine)";
  for (const auto audience : {FolderAudience::AdministratorsOnly, FolderAudience::AdministratorsAndUser}) {
    std::wstring moved;
    EXPECT_EQ(platform::MakeGuardedFolder(folder, audience, &moved), platform::GuardedFolder::IsLink);
    EXPECT_TRUE(moved.empty());
  }
  EXPECT_TRUE(IsEmptyFolder(target));
  EXPECT_NE(GetFileAttributesW(folder.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
}

TEST_F(DataFolderWin32Test, AFolderInUseCannotBeRenamedAway) {
  const std::wstring folder = root_ + L"\\InUse";
  ASSERT_EQ(platform::MakeGuardedFolder(folder, FolderAudience::AdministratorsAndUser),
            platform::GuardedFolder::Ready);
  if (MoveFileW(folder.c_str(), (folder + L".old").c_str())) {
    MoveFileW((folder + L".old").c_str(), folder.c_str());
    GTEST_SKIP() << "this system renames a folder that is open without delete sharing (Wine does)";
  }
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
}

TEST_F(DataFolderWin32Test, AVerifiedReadRefusesAFileReachedThroughALinkOrAHardLink) {
  const std::wstring real = root_ + L"\\Real";
  ASSERT_TRUE(CreateDirectoryW(real.c_str(), nullptr));
  ASSERT_TRUE(platform::WriteFileBytes(real + L"\\terms_accepted.txt", "yes and more"));
  std::string read;
  ASSERT_EQ(platform::ReadVerified(real + L"\\terms_accepted.txt", 3, read), platform::Verified::Done);
  EXPECT_EQ(read, "yes");
  ASSERT_TRUE(CreateHardLinkW((root_ + L"\\second.txt").c_str(), (real + L"\\terms_accepted.txt").c_str(), nullptr));
  EXPECT_EQ(platform::ReadVerified(root_ + L"\\second.txt", 16, read), platform::Verified::WrongKind);
  const std::wstring other = root_ + L"\\Other";
  ASSERT_TRUE(CreateDirectoryW(other.c_str(), nullptr));
  ASSERT_TRUE(platform::WriteFileBytes(other + L"\\terms_accepted.txt", "yes"));
  if (!PlantUnixFolderLink(root_ + L"\\Linked", other)) GTEST_SKIP() << "no Unix symbolic links here (not Wine)";
  EXPECT_EQ(platform::ReadVerified(root_ + L"\\Linked\\terms_accepted.txt", 16, read), platform::Verified::Redirected);
}

TEST_F(DataFolderWin32Test, AFileInPlaceOfTheFolderIsNoFolder) {
  const std::wstring path = root_ + L"\\KestruneAV";
  ASSERT_TRUE(platform::WriteFileBytes(path, "x"));
  EXPECT_EQ(platform::MakeGuardedFolder(path, FolderAudience::AdministratorsOnly), platform::GuardedFolder::Failed);
}

// Every writer, aimed at a planted name whose bytes belong to another file.
void ExpectEveryWriterRefuses(const std::wstring& planted, const std::wstring& victim, const std::wstring& root) {
  const std::wstring source = root + L"\\source.bin";
  const std::wstring replacement = root + L"\\replacement.tmp";
  ASSERT_TRUE(platform::WriteFileBytes(source, "planted-over"));
  ASSERT_TRUE(platform::WriteFileBytes(replacement, "replaced"));
  EXPECT_FALSE(platform::WriteFileBytes(planted, "yes"));
  EXPECT_FALSE(platform::AppendFileBytes(planted, "yes"));
  EXPECT_FALSE(platform::CopyFileOver(source, planted));
  EXPECT_FALSE(platform::ReplaceFileWith(planted, replacement));
  std::string bytes;
  ASSERT_TRUE(platform::ReadFileBytes(victim, bytes));
  EXPECT_EQ(bytes, "127.0.0.1 localhost\r\n");
}

TEST_F(DataFolderWin32Test, WritersRefuseAPlantedHardLink) {
  const std::wstring victim = root_ + L"\\hosts";
  const std::wstring planted = root_ + L"\\terms_accepted.txt";
  ASSERT_TRUE(platform::WriteFileBytes(victim, "127.0.0.1 localhost\r\n"));
  ASSERT_TRUE(CreateHardLinkW(planted.c_str(), victim.c_str(), nullptr));
  ExpectEveryWriterRefuses(planted, victim, root_);
}

TEST_F(DataFolderWin32Test, WritersRefuseAPlantedSymbolicLink) {
  const std::wstring victim = root_ + L"\\hosts";
  const std::wstring planted = root_ + L"\\telemetry.txt";
  ASSERT_TRUE(platform::WriteFileBytes(victim, "127.0.0.1 localhost\r\n"));
  CreateSymbolicLinkW(planted.c_str(), victim.c_str(), SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
  if (GetFileAttributesW(planted.c_str()) == INVALID_FILE_ATTRIBUTES) {
    GTEST_SKIP() << "this system makes no symbolic links (Wine 8 reports success and makes none)";
  }
  ExpectEveryWriterRefuses(planted, victim, root_);
  // The link itself is left as it was planted, and what it points to unchanged.
  EXPECT_NE(GetFileAttributesW(planted.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
}

TEST_F(DataFolderWin32Test, WritersRefuseAPathThroughALinkedFolderAndLeaveNothingBehindIt) {
  const std::wstring outside = root_ + L"\\Outside";
  ASSERT_TRUE(CreateDirectoryW(outside.c_str(), nullptr));
  ASSERT_TRUE(platform::WriteFileBytes(outside + L"\\server_alerts.log", "kept\r\n"));
  const std::wstring linked = root_ + L"\\Linked";
  if (!PlantUnixFolderLink(linked, outside)) GTEST_SKIP() << "no Unix symbolic links here (not Wine)";
  EXPECT_FALSE(platform::WriteFileBytes(linked + L"\\new.txt", "planted"));
  EXPECT_FALSE(platform::AppendFileBytes(linked + L"\\server_alerts.log", "planted\r\n"));
  EXPECT_FALSE(platform::AppendFileBytes(linked + L"\\made.log", "planted\r\n"));
  EXPECT_EQ(GetFileAttributesW((outside + L"\\new.txt").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesW((outside + L"\\made.log").c_str()), INVALID_FILE_ATTRIBUTES);
  std::string bytes;
  ASSERT_TRUE(platform::ReadFileBytes(outside + L"\\server_alerts.log", bytes));
  EXPECT_EQ(bytes, "kept\r\n");
}

TEST_F(DataFolderWin32Test, PlainFilesAreStillWrittenAppendedCopiedAndReplaced) {
  const std::wstring file = root_ + L"\\telemetry.txt";
  ASSERT_TRUE(platform::WriteFileBytes(file, "a long first content"));
  ASSERT_TRUE(platform::WriteFileBytes(file, "short"));
  ASSERT_TRUE(platform::AppendFileBytes(file, "+more"));
  std::string bytes;
  ASSERT_TRUE(platform::ReadFileBytes(file, bytes));
  EXPECT_EQ(bytes, "short+more");
  ASSERT_TRUE(platform::WriteFileBytes(root_ + L"\\new.tmp", "new"));
  ASSERT_TRUE(platform::ReplaceFileWith(file, root_ + L"\\new.tmp"));
  ASSERT_TRUE(platform::CopyFileOver(file, root_ + L"\\copy.txt"));
  ASSERT_TRUE(platform::ReadFileBytes(root_ + L"\\copy.txt", bytes));
  EXPECT_EQ(bytes, "new");
}

}  // namespace
