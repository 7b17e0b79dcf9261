// The verified file operations on the real file system: each works on a plain path,
// and with a link planted in place of a folder on the way it refuses and changes
// nothing behind the link.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>

#include "platform/files.h"
#include "platform/verified_files.h"
#include "temp_folder.h"

namespace {

using platform::FileIdentity;
using platform::Verified;
using VerifiedFilesTest = TempFolderTest;

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

std::string BytesOf(const std::wstring& path) {
  std::string bytes;
  return platform::ReadFileBytes(path, bytes) ? bytes : "(unreadable)";
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsReadOnly(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}

// Everything below a folder, with the bytes and the read-only mark of each file, so
// that any change in it shows.
void Collect(const std::wstring& folder, const std::wstring& prefix, std::map<std::string, std::string>& into) {
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring path = folder + L"\\" + name;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      into[Narrow(prefix + name)] = "(folder)";
      Collect(path, prefix + name + L"\\", into);
    } else {
      into[Narrow(prefix + name)] = BytesOf(path) + (IsReadOnly(path) ? " (read-only)" : "");
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

std::map<std::string, std::string> ContentsOf(const std::wstring& folder) {
  std::map<std::string, std::string> contents;
  Collect(folder, L"", contents);
  return contents;
}

// One operation aimed into the folder under test; `row` is the folder of the case,
// which holds it, "safe.txt" outside it, and room for what is moved out.
struct Operation {
  const char* name;
  std::function<Verified(const std::wstring& folder, const std::wstring& row)> run;
  std::function<void(const std::wstring& folder, const std::wstring& row)> check_done;
};

const Operation kOperations[] = {
    {"identify",
     [](const std::wstring& folder, const std::wstring&) {
       FileIdentity identity;
       return platform::IdentifyVerified(folder + L"\\file.txt", identity);
     },
     [](const std::wstring& folder, const std::wstring& row) {
       FileIdentity file, safe, again;
       ASSERT_EQ(platform::IdentifyVerified(folder + L"\\file.txt", file), Verified::Done);
       ASSERT_EQ(platform::IdentifyVerified(row + L"\\safe.txt", safe), Verified::Done);
       ASSERT_EQ(platform::IdentifyVerified(folder + L"\\file.txt", again), Verified::Done);
       EXPECT_EQ(file, again);
       EXPECT_FALSE(file == safe);
     }},
    {"read",
     [](const std::wstring& folder, const std::wstring&) {
       std::string read = "untouched";
       const Verified result = platform::ReadVerified(folder + L"\\file.txt", 64, read);
       if (result == Verified::Done) EXPECT_EQ(read, "file bytes");
       if (result != Verified::Done) EXPECT_EQ(read, "untouched");
       return result;
     },
     [](const std::wstring&, const std::wstring&) {}},
    {"move out of it",
     [](const std::wstring& folder, const std::wstring& row) {
       return platform::MoveVerified(folder + L"\\file.txt", nullptr, row + L"\\moved.txt");
     },
     [](const std::wstring& folder, const std::wstring& row) {
       EXPECT_EQ(BytesOf(row + L"\\moved.txt"), "file bytes");
       EXPECT_FALSE(Exists(folder + L"\\file.txt"));
     }},
    {"move into it",
     [](const std::wstring& folder, const std::wstring& row) {
       return platform::MoveVerified(row + L"\\safe.txt", nullptr, folder + L"\\moved.txt");
     },
     [](const std::wstring& folder, const std::wstring& row) {
       EXPECT_EQ(BytesOf(folder + L"\\moved.txt"), "safe bytes");
       EXPECT_FALSE(Exists(row + L"\\safe.txt"));
     }},
    {"move within it",
     [](const std::wstring& folder, const std::wstring&) {
       return platform::MoveVerified(folder + L"\\file.txt", nullptr, folder + L"\\renamed.txt");
     },
     [](const std::wstring& folder, const std::wstring&) {
       EXPECT_EQ(BytesOf(folder + L"\\renamed.txt"), "file bytes");
       EXPECT_FALSE(Exists(folder + L"\\file.txt"));
     }},
    {"move the folder itself",
     [](const std::wstring& folder, const std::wstring& row) {
       return platform::MoveFolderVerified(folder, row + L"\\moved-folder");
     },
     [](const std::wstring& folder, const std::wstring& row) {
       EXPECT_EQ(BytesOf(row + L"\\moved-folder\\file.txt"), "file bytes");
       EXPECT_FALSE(Exists(folder));
     }},
    {"delete",
     [](const std::wstring& folder, const std::wstring&) {
       return platform::DeleteVerified(folder + L"\\file.txt", nullptr);
     },
     [](const std::wstring& folder, const std::wstring&) { EXPECT_FALSE(Exists(folder + L"\\file.txt")); }},
    {"create new",
     [](const std::wstring& folder, const std::wstring&) {
       return platform::CreateNewVerified(folder + L"\\new.txt", "new bytes");
     },
     [](const std::wstring& folder, const std::wstring&) { EXPECT_EQ(BytesOf(folder + L"\\new.txt"), "new bytes"); }},
    {"replace",
     [](const std::wstring& folder, const std::wstring&) {
       return platform::ReplaceVerified(folder + L"\\file.txt", "replaced");
     },
     [](const std::wstring& folder, const std::wstring&) {
       // No temporary left beside it.
       EXPECT_EQ(ContentsOf(folder), (std::map<std::string, std::string>{{"file.txt", "replaced"}}));
     }},
    {"make folders",
     [](const std::wstring& folder, const std::wstring&) {
       return platform::MakeFoldersVerified(folder + L"\\made\\deeper");
     },
     [](const std::wstring& folder, const std::wstring&) {
       EXPECT_NE(GetFileAttributesW((folder + L"\\made\\deeper").c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
     }},
    {"set read-only",
     [](const std::wstring& folder, const std::wstring&) {
       return platform::SetReadOnlyVerified(folder + L"\\file.txt", true);
     },
     [](const std::wstring& folder, const std::wstring&) {
       EXPECT_TRUE(IsReadOnly(folder + L"\\file.txt"));
       EXPECT_EQ(platform::SetReadOnlyVerified(folder + L"\\file.txt", false), Verified::Done);
       EXPECT_FALSE(IsReadOnly(folder + L"\\file.txt"));
     }},
};

TEST_F(VerifiedFilesTest, EveryOperationWorksOnAPlainPath) {
  int index = 0;
  for (const Operation& operation : kOperations) {
    SCOPED_TRACE(operation.name);
    const std::wstring row = root_ + L"\\" + std::to_wstring(index++);
    const std::wstring folder = row + L"\\Plain";
    ASSERT_TRUE(CreateDirectoryW(row.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(platform::WriteFileBytes(folder + L"\\file.txt", "file bytes"));
    ASSERT_TRUE(platform::WriteFileBytes(row + L"\\safe.txt", "safe bytes"));
    ASSERT_EQ(operation.run(folder, row), Verified::Done);
    operation.check_done(folder, row);
  }
}

TEST_F(VerifiedFilesTest, EveryOperationRefusesAFolderOnTheWayThatIsALinkAndChangesNothingBehindIt) {
  int index = 0;
  for (const Operation& operation : kOperations) {
    SCOPED_TRACE(operation.name);
    const std::wstring row = root_ + L"\\" + std::to_wstring(index++);
    const std::wstring outside = row + L"\\Outside";
    ASSERT_TRUE(CreateDirectoryW(row.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(outside.c_str(), nullptr));
    ASSERT_TRUE(platform::WriteFileBytes(outside + L"\\file.txt", "file bytes"));
    ASSERT_TRUE(platform::WriteFileBytes(row + L"\\safe.txt", "safe bytes"));
    // The link is the folder's parent, so the file itself is no link: only its final
    // path tells.
    const std::wstring linked = row + L"\\Linked";
    if (!PlantUnixFolderLink(linked, outside)) GTEST_SKIP() << "no Unix symbolic links here (not Wine)";
    const auto before = ContentsOf(outside);
    EXPECT_EQ(operation.run(linked, row), Verified::Redirected);
    EXPECT_EQ(ContentsOf(outside), before);
    EXPECT_EQ(BytesOf(row + L"\\safe.txt"), "safe bytes");
    EXPECT_FALSE(Exists(row + L"\\moved.txt"));
    EXPECT_FALSE(Exists(row + L"\\moved-folder"));
  }
}

TEST_F(VerifiedFilesTest, AFileThatIsNotTheOneJudgedIsNeitherMovedNorDeleted) {
  const std::wstring judged = root_ + L"\\judged.exe";
  const std::wstring other = root_ + L"\\other.exe";
  ASSERT_TRUE(platform::WriteFileBytes(judged, "judged"));
  ASSERT_TRUE(platform::WriteFileBytes(other, "other"));
  FileIdentity identity;
  ASSERT_EQ(platform::IdentifyVerified(judged, identity), Verified::Done);
  // Somebody swaps another file in under the judged name.
  ASSERT_TRUE(MoveFileW(judged.c_str(), (root_ + L"\\aside.exe").c_str()));
  ASSERT_TRUE(MoveFileW(other.c_str(), judged.c_str()));
  EXPECT_EQ(platform::MoveVerified(judged, &identity, root_ + L"\\moved.exe"), Verified::Changed);
  EXPECT_EQ(platform::DeleteVerified(judged, &identity), Verified::Changed);
  EXPECT_EQ(BytesOf(judged), "other");
  EXPECT_EQ(BytesOf(root_ + L"\\aside.exe"), "judged");
  EXPECT_FALSE(Exists(root_ + L"\\moved.exe"));
  // The judged file itself, under its new name, is still the one.
  EXPECT_EQ(platform::MoveVerified(root_ + L"\\aside.exe", &identity, root_ + L"\\moved.exe"), Verified::Done);
  EXPECT_EQ(platform::DeleteVerified(root_ + L"\\moved.exe", &identity), Verified::Done);
  EXPECT_FALSE(Exists(root_ + L"\\moved.exe"));
}

TEST_F(VerifiedFilesTest, AMoveToAnotherVolumeCopiesThroughTheHandleAndDeletesTheSource) {
  // Wine maps Z: to the Unix root; /dev/shm is another file system than the prefix,
  // so a rename there fails as across volumes.
  const std::wstring away = L"Z:\\dev\\shm\\kav-verified-" + std::to_wstring(GetCurrentProcessId());
  RemoveTree(away);
  if (!CreateDirectoryW(away.c_str(), nullptr)) GTEST_SKIP() << "no second volume at Z:\\dev\\shm";
  std::string big(3 * 1024 * 1024 + 17, '\0');  // more than one piece of the copy
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 4096);
  const std::wstring source = root_ + L"\\big.bin";
  ASSERT_TRUE(platform::WriteFileBytes(source, big));
  ASSERT_TRUE(SetFileAttributesW(source.c_str(), FILE_ATTRIBUTE_READONLY));  // a rename would move it too
  FileIdentity before, after;
  ASSERT_EQ(platform::IdentifyVerified(source, before), Verified::Done);
  EXPECT_EQ(platform::MoveVerified(source, nullptr, away + L"\\big.bin"), Verified::Done);
  EXPECT_TRUE(BytesOf(away + L"\\big.bin") == big);
  ASSERT_EQ(platform::IdentifyVerified(away + L"\\big.bin", after), Verified::Done);
  EXPECT_FALSE(after == before);  // a copy, not a rename
  EXPECT_FALSE(Exists(source));
  // Never over a file that is there: both stay as they were.
  ASSERT_TRUE(platform::WriteFileBytes(source, "second"));
  EXPECT_EQ(platform::MoveVerified(source, nullptr, away + L"\\big.bin"), Verified::Exists);
  EXPECT_EQ(BytesOf(source), "second");
  EXPECT_TRUE(BytesOf(away + L"\\big.bin") == big);
  RemoveTree(away);
}

TEST_F(VerifiedFilesTest, AReadStopsAtItsLimit) {
  std::string bytes(10000, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>('a' + i % 26);
  const std::wstring path = root_ + L"\\long.txt";
  ASSERT_TRUE(platform::WriteFileBytes(path, bytes));
  struct Case {
    std::size_t max_bytes;
    std::size_t expected;
  };
  for (const Case& row : {Case{4096, 4096}, Case{0, 0}, Case{10000, 10000}, Case{1 << 20, 10000}}) {
    SCOPED_TRACE(row.max_bytes);
    std::string read = "untouched";
    ASSERT_EQ(platform::ReadVerified(path, row.max_bytes, read), Verified::Done);
    EXPECT_EQ(read, bytes.substr(0, row.expected));
  }
  std::string read;
  EXPECT_EQ(platform::ReadVerified(root_ + L"\\absent.txt", 16, read), Verified::Missing);
  EXPECT_EQ(platform::ReadVerified(root_, 16, read), Verified::WrongKind);
}

TEST_F(VerifiedFilesTest, ANewFileNeverGoesOverOneThatIsThere) {
  const std::wstring path = root_ + L"\\present.txt";
  ASSERT_TRUE(platform::WriteFileBytes(path, "present"));
  ASSERT_TRUE(platform::WriteFileBytes(root_ + L"\\source.txt", "source"));
  EXPECT_EQ(platform::CreateNewVerified(path, "over it"), Verified::Exists);
  EXPECT_EQ(platform::MoveVerified(root_ + L"\\source.txt", nullptr, path), Verified::Exists);
  EXPECT_EQ(BytesOf(path), "present");
  EXPECT_EQ(BytesOf(root_ + L"\\source.txt"), "source");
  EXPECT_EQ(platform::CreateNewVerified(root_ + L"\\NoFolder\\new.txt", "x"), Verified::Missing);
  EXPECT_EQ(platform::ReplaceVerified(root_ + L"\\absent.txt", "x"), Verified::Missing);
}

TEST_F(VerifiedFilesTest, AFileWithASecondHardLinkIsTheWrongKind) {
  const std::wstring first = root_ + L"\\first.txt";
  const std::wstring second = root_ + L"\\second.txt";
  ASSERT_TRUE(platform::WriteFileBytes(first, "shared bytes"));
  ASSERT_TRUE(CreateHardLinkW(second.c_str(), first.c_str(), nullptr));
  for (const std::wstring& path : {first, second}) {
    SCOPED_TRACE(Narrow(path));
    std::string read;
    EXPECT_EQ(platform::ReadVerified(path, 64, read), Verified::WrongKind);
    EXPECT_EQ(platform::ReplaceVerified(path, "replaced"), Verified::WrongKind);
    EXPECT_EQ(platform::DeleteVerified(path, nullptr), Verified::WrongKind);
    EXPECT_EQ(platform::MoveVerified(path, nullptr, root_ + L"\\moved.txt"), Verified::WrongKind);
    EXPECT_EQ(platform::SetReadOnlyVerified(path, true), Verified::WrongKind);
  }
  EXPECT_EQ(ContentsOf(root_),
            (std::map<std::string, std::string>{{"first.txt", "shared bytes"}, {"second.txt", "shared bytes"}}));
}

TEST_F(VerifiedFilesTest, AReadOnlyFileIsDeletedButNotReplaced) {
  const std::wstring path = root_ + L"\\kept.txt";
  ASSERT_TRUE(platform::WriteFileBytes(path, "kept"));
  ASSERT_EQ(platform::SetReadOnlyVerified(path, true), Verified::Done);
  EXPECT_EQ(platform::ReplaceVerified(path, "replaced"), Verified::Failed);
  EXPECT_EQ(ContentsOf(root_), (std::map<std::string, std::string>{{"kept.txt", "kept (read-only)"}}));
  EXPECT_EQ(platform::DeleteVerified(path, nullptr), Verified::Done);
  EXPECT_FALSE(Exists(path));
}

TEST_F(VerifiedFilesTest, APathPastMaxPathIsReachedWholeNotCutOff) {
  // A deep folder and a long name: more than 300 characters in all.
  std::wstring deep = root_;
  for (int level = 0; deep.size() < 240; ++level) deep += L"\\folder-" + std::to_wstring(level) + L"-of-a-deep-tree";
  const std::wstring file = deep + L"\\" + std::wstring(80, L'n') + L".exe";
  ASSERT_GT(file.size(), 300u);
  ASSERT_EQ(platform::MakeFoldersVerified(deep), Verified::Done);
  const Verified created = platform::CreateNewVerified(file, "long");
  if (created == Verified::Failed) {
    // Wine 8 cannot tell a final path past MAX_PATH (GetFinalPathNameByHandleW answers
    // ERROR_MORE_DATA whatever the buffer): unverifiable, so refused, and nothing left.
    EXPECT_FALSE(platform::PathExists(file));
    GTEST_SKIP() << "this system cannot tell the final path of a handle past MAX_PATH";
  }
  ASSERT_EQ(created, Verified::Done);
  EXPECT_TRUE(platform::PathExists(file));
  platform::FileInfo info;
  ASSERT_TRUE(platform::QueryFileInfo(file, info));
  EXPECT_EQ(info.size, 4u);
  const std::wstring stored = root_ + L"\\stored.exe";
  ASSERT_EQ(platform::MoveVerified(file, nullptr, stored), Verified::Done);
  EXPECT_FALSE(platform::PathExists(file));
  ASSERT_EQ(platform::MoveVerified(stored, nullptr, file), Verified::Done);
  std::string read;
  ASSERT_EQ(platform::ReadVerified(file, 16, read), Verified::Done);
  EXPECT_EQ(read, "long");
  EXPECT_EQ(platform::DeleteVerified(file, nullptr), Verified::Done);
}

}  // namespace
