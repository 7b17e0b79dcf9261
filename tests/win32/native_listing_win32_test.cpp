// The native directory query against the find listing on the real file system: the
// two roads the hidden-file cross-view compares must agree on an unfiltered folder.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>

#include "app/activity_log.h"
#include "inspect/cross_view.h"
#include "platform/files.h"
#include "temp_folder.h"

namespace {
// Name -> (folder, reparse point, size, write time) as one listing gives it.
using Seen = std::map<std::wstring, std::tuple<bool, bool, uint64_t, uint64_t>>;
using Lister = uint32_t (*)(const std::wstring&, const std::function<bool(const platform::FolderEntry&)>&);

uint32_t List(Lister list, const std::wstring& folder, Seen& seen) {
  return list(folder, [&seen](const platform::FolderEntry& entry) {
    EXPECT_TRUE(seen.emplace(entry.name, std::make_tuple(entry.is_directory, entry.is_reparse_point, entry.size,
                                                         entry.last_write_time))
                    .second)
        << "listed twice";
    return true;
  });
}

bool MakeFile(const std::wstring& path, std::size_t size) {
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const std::string bytes(size, 'x');
  DWORD written = 0;
  const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != 0;
  CloseHandle(file);
  return ok;
}

class NativeListingWin32 : public TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    ResetActivityState();
  }
  void TearDown() override {
    ResetActivityState();
    TempFolderTest::TearDown();
  }
};
}  // namespace

TEST_F(NativeListingWin32, AgreesWithTheFindListingOnARealFolder) {
  const std::wstring folder = root_ + L"\\listed";
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  // More names than one 64 KiB query returns, so that the query is continued.
  for (int i = 0; i < 300; ++i) ASSERT_TRUE(MakeFile(folder + L"\\file-" + std::to_wstring(i) + L".txt", i % 7));
  const std::wstring long_name = std::wstring(200, L'n') + L".log";
  for (const std::wstring& name : {long_name, std::wstring(L"\u00dcbersicht \u65e5\u672c\u8a9e.pdf"),
                                   std::wstring(L"\u03a3\u03cd\u03bd\u03bf\u03c8\u03b7 (1).docx"),
                                   std::wstring(L"no-extension"), std::wstring(L"hidden.dat")}) {
    ASSERT_TRUE(MakeFile(folder + L"\\" + name, 1234)) << name.size();
  }
  SetFileAttributesW((folder + L"\\hidden.dat").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  ASSERT_TRUE(CreateDirectoryW((folder + L"\\sub folder").c_str(), nullptr));

  Seen found, native;
  EXPECT_EQ(List(platform::VisitFolder, folder, found), 0u);
  EXPECT_EQ(List(platform::VisitFolderNative, folder, native), 0u);
  EXPECT_EQ(native.size(), 306u);
  EXPECT_EQ(native, found);
  EXPECT_EQ(std::get<0>(native[L"sub folder"]), true);
  EXPECT_EQ(std::get<2>(native[long_name]), 1234u);
  EXPECT_EQ(native.count(L"."), 0u);
  EXPECT_EQ(native.count(L".."), 0u);

  CrossViewFolder(folder);
  CheckUserModeHiding(folder + L"\\");
  EXPECT_TRUE(ActivityLines().empty());
}

TEST_F(NativeListingWin32, StopsWhenTheVisitorSaysAndFailsLikeTheFindListing) {
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(MakeFile(root_ + L"\\f" + std::to_wstring(i), 1));
  int calls = 0;
  EXPECT_EQ(platform::VisitFolderNative(root_, [&](const platform::FolderEntry&) { return ++calls < 2; }), 0u);
  EXPECT_EQ(calls, 2);

  const uint32_t missing = platform::VisitFolderNative(root_ + L"\\missing", [](const platform::FolderEntry&) {
    ADD_FAILURE();
    return true;
  });
  EXPECT_TRUE(platform::IsNotFoundError(missing)) << missing;
  EXPECT_NE(platform::VisitFolderNative(root_ + L"\\f0", [](const platform::FolderEntry&) { return true; }), 0u);

  const std::wstring empty = root_ + L"\\empty";
  ASSERT_TRUE(CreateDirectoryW(empty.c_str(), nullptr));
  calls = 0;
  EXPECT_EQ(platform::VisitFolderNative(empty, [&](const platform::FolderEntry&) { return ++calls, true; }), 0u);
  EXPECT_EQ(calls, 0);
}

TEST_F(NativeListingWin32, ListsAFolderPastMaxPath) {
  std::wstring deep = root_;
  while (deep.size() < 300) {
    deep += L"\\" + std::wstring(40, L'd');
    ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr));
  }
  ASSERT_TRUE(MakeFile(L"\\\\?\\" + deep + L"\\deep.txt", 3));
  Seen native;
  EXPECT_EQ(List(platform::VisitFolderNative, deep, native), 0u);
  EXPECT_EQ(native.size(), 1u);
  EXPECT_EQ(native.count(L"deep.txt"), 1u);

  // The fixture's clean-up walks short paths only.
  DeleteFileW((L"\\\\?\\" + deep + L"\\deep.txt").c_str());
  for (; deep.size() > root_.size(); deep.erase(deep.rfind(L'\\'))) RemoveDirectoryW((L"\\\\?\\" + deep).c_str());
}
