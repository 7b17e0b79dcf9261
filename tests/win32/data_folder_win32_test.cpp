// The data folder's access list and the writers' refusal of planted links, on the
// real file system.
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/files.h"
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

std::wstring ExpectedList() {
  return L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;" + UserSidText() + L")(A;OICI;0x1200a9;;;BU)";
}

TEST_F(DataFolderWin32Test, ANewDataFolderGetsTheProtectedListAsWritten) {
  EXPECT_EQ(Narrow(platform::win32::GuardedFolderAccessList()), Narrow(ExpectedList()));
  const std::wstring folder = root_ + L"\\ProgramData\\KestruneAV";
  ASSERT_EQ(platform::MakeGuardedFolder(folder), platform::GuardedFolder::Ready);
  // Windows reads the list back as written; Wine keeps no lists on files and reads
  // back one made from the Unix mode bits, which still lets nobody else write.
  const std::wstring read_back = AccessListOf(folder);
  if (read_back.rfind(L"D:P", 0) == 0) EXPECT_EQ(Narrow(read_back), Narrow(ExpectedList()));
  EXPECT_TRUE(platform::win32::OnlyTrustedMayWriteTo(folder)) << Narrow(read_back);
  // Asked again, the folder is found as it was left.
  EXPECT_EQ(platform::MakeGuardedFolder(folder), platform::GuardedFolder::Ready);
  EXPECT_TRUE(platform::win32::OnlyTrustedMayWriteTo(folder));
}

TEST_F(DataFolderWin32Test, AnExistingFolderEverybodyMayWriteToGetsTheListPutOnIt) {
  const std::wstring folder = root_ + L"\\KestruneAV";
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  // Everyone: full control, as a folder made by somebody else might say.
  PSECURITY_DESCRIPTOR open_descriptor = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;OICI;FA;;;WD)", SDDL_REVISION_1,
                                                                   &open_descriptor, nullptr));
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL open_list = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorDacl(open_descriptor, &present, &open_list, &defaulted));
  std::wstring mutable_folder = folder;
  SetNamedSecurityInfoW(mutable_folder.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                        open_list, nullptr);
  LocalFree(open_descriptor);
  if (platform::win32::OnlyTrustedMayWriteTo(folder)) {
    GTEST_SKIP() << "this system kept no open list on the folder: " << Narrow(AccessListOf(folder));
  }
  EXPECT_EQ(platform::MakeGuardedFolder(folder), platform::GuardedFolder::Ready);
  EXPECT_TRUE(platform::win32::OnlyTrustedMayWriteTo(folder)) << Narrow(AccessListOf(folder));
}

TEST_F(DataFolderWin32Test, AFileInPlaceOfTheFolderIsNoFolder) {
  const std::wstring path = root_ + L"\\KestruneAV";
  ASSERT_TRUE(platform::WriteFileBytes(path, "x"));
  EXPECT_EQ(platform::MakeGuardedFolder(path), platform::GuardedFolder::Failed);
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
