#pragma once
// A fresh temporary folder per test, removed afterwards.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

class TempFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const char* name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    root_ = std::wstring(temp) + L"kav-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::wstring(name, name + std::strlen(name));
    RemoveTree(root_);
    ASSERT_TRUE(CreateDirectoryW(root_.c_str(), nullptr));
  }
  void TearDown() override { RemoveTree(root_); }

  static void RemoveTree(const std::wstring& path) {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring child = path + L"\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          RemoveTree(child);
        } else {
          SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
          DeleteFileW(child.c_str());
        }
      } while (FindNextFileW(search, &found));
      FindClose(search);
    }
    RemoveDirectoryW(path.c_str());
  }

  std::wstring root_;
};
