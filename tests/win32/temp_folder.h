#pragma once
// A fresh temporary folder per test, removed afterwards.
#include <windows.h>
#include <winioctl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

// Creates a sparse file of 5 GiB and 3 bytes, so that the high half of a size counts
// without costing disk space; false (and no file) when the file system cannot hold one.
inline bool MakeHugeSparseFile(const std::wstring& path) {
  HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  DWORD returned = 0;
  const bool sparse = DeviceIoControl(handle, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
  LARGE_INTEGER end;
  end.QuadPart = (5ll << 30) + 3;
  const bool sized = sparse && SetFilePointerEx(handle, end, nullptr, FILE_BEGIN) && SetEndOfFile(handle);
  CloseHandle(handle);
  if (!sized) DeleteFileW(path.c_str());
  return sized;
}

// KestruneScan.exe, built one folder above the test program.
inline std::wstring ScannerPath() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  for (int up = 0; up < 2; ++up) folder = folder.substr(0, folder.find_last_of(L'\\'));
  return folder + L"\\KestruneScan.exe";
}

// Runs a Unix program under Wine (which can) with the Windows paths given as Unix ones
// after its fixed arguments, e.g. "/bin/ln -s" target link; false where that cannot be
// done (not Wine) or the program could not be started.
inline bool RunUnixProgram(const wchar_t* program, const std::string& fixed, const std::wstring& first,
                           const std::wstring& second = L"") {
  using UnixName = char*(CDECL*)(const WCHAR*);
  const auto unix_name =
      reinterpret_cast<UnixName>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name"));
  if (!unix_name) return false;
  std::string command = fixed;
  for (const std::wstring* path : {&first, &second}) {
    if (path->empty()) continue;
    char* unix_path = unix_name(path->c_str());
    command += std::string(" \"") + (unix_path ? unix_path : "") + "\"";
    HeapFree(GetProcessHeap(), 0, unix_path);
  }
  std::wstring wide(command.begin(), command.end());
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(program, wide.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    return false;
  }
  WaitForSingleObject(process.hProcess, 10000);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

// Wine runs Unix programs: a Unix symbolic link to a folder is what Wine shows as a
// reparse point, as Windows shows a junction. False where that cannot be done.
inline bool PlantUnixFolderLink(const std::wstring& link, const std::wstring& target) {
  if (!RunUnixProgram(L"Z:\\bin\\ln", "/bin/ln -s", target, link)) return false;
  // A Unix program's process may count as ended before it has run: wait for the link.
  for (int tries = 0; tries < 100; ++tries) {
    const DWORD attributes = GetFileAttributesW(link.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
    Sleep(50);
  }
  return false;
}

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
        if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
          // A link is removed as itself; what it points to is not ours to empty. Wine
          // follows a Unix link even when asked not to, so there it is unlinked on the
          // Unix side.
          if (RunUnixProgram(L"Z:\\bin\\rm", "/bin/rm -f", child)) {
            for (int tries = 0; tries < 40 && GetFileAttributesW(child.c_str()) != INVALID_FILE_ATTRIBUTES; ++tries) {
              Sleep(50);
            }
          } else if (!RemoveDirectoryW(child.c_str())) {
            DeleteFileW(child.c_str());
          }
        } else if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
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
