// What the engine is given of files it cannot read whole or that are links, on the
// real system (Windows or Wine): the command-line scanner on a file whose reads fail,
// and the status of a file link taken through a handle.
#include <windows.h>

#include <gtest/gtest.h>

#include "temp_folder.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "platform/files.h"
#include "platform/processes.h"

namespace {

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

// KestruneScan.exe sits one folder above the test program.
std::wstring ScannerPath() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return FolderOf(FolderOf(std::wstring(path, length))) + L"\\KestruneScan.exe";
}

class EngineReadsWin32 : public TempFolderTest {
 protected:
  std::wstring Write(const std::wstring& name, const std::string& bytes) {
    const std::wstring path = root_ + L"\\" + name;
    std::ofstream(std::filesystem::path(path), std::ios::binary) << bytes;
    return path;
  }

  struct Scan {
    bool started = false;
    uint32_t exit_code = 0;
    std::string output;
  };
  Scan RunScanner(const std::wstring& arguments) {
    Scan scan;
    const std::wstring program = ScannerPath();
    const platform::ToolRun run = platform::RunToolCapturingOutput(
        program, L"\"" + program + L"\" " + arguments, root_, 120000, [] {},
        [&](std::string_view bytes) { scan.output.append(bytes); });
    scan.started = run.started;
    scan.exit_code = run.exit_code;
    return scan;
  }
};

// Another program holds a byte-range lock over the file: it opens, but its reads
// fail. "Clean" would be a guess; the scanner says it could not read the file.
TEST_F(EngineReadsWin32, TheScannerReportsAFileWhoseReadsFailAsAReadError) {
  std::string text;
  while (text.size() < 3u << 20) text += "quarterly figures, draft 3\r\n";
  const std::wstring file = Write(L"report.txt", text);
  ASSERT_TRUE(CreateDirectoryW((root_ + L"\\lists").c_str(), nullptr));
  HANDLE holder = CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  OVERLAPPED range{};
  ASSERT_TRUE(LockFileEx(holder, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &range));

  const Scan scan = RunScanner(L"--data-dir \"" + root_ + L"\\lists\" \"" + file + L"\"");
  UnlockFileEx(holder, 0, MAXDWORD, MAXDWORD, &range);
  CloseHandle(holder);
  ASSERT_TRUE(scan.started);
  const std::string narrow_path(file.begin(), file.end());
  EXPECT_EQ(scan.exit_code, 2u) << scan.output;
  EXPECT_EQ(scan.output.rfind("error\t-\t-\tcannot be read\t" + narrow_path + "\r\n", 0), 0u) << scan.output;

  // Unlocked, the same file is read and judged.
  const Scan again = RunScanner(L"--data-dir \"" + root_ + L"\\lists\" \"" + file + L"\"");
  EXPECT_EQ(again.exit_code, 0u) << again.output;
  EXPECT_EQ(again.output.rfind("none\t", 0), 0u) << again.output;
}

// A symbolic link's own status is the link's (size 0); through a handle opened on
// the path the target answers. Wine shows a Unix link as a reparse point.
TEST_F(EngineReadsWin32, AFileLinkGivesItsTargetsSizeThroughAHandle) {
  const std::wstring target = Write(L"payload.bin", std::string(5000, 'p'));
  const std::wstring link = root_ + L"\\tool.exe";
  if (!RunUnixProgram(L"Z:\\bin\\ln", "/bin/ln -s", target, link)) GTEST_SKIP() << "no Unix links here (not Wine)";
  for (int tries = 0; tries < 100 && GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES; ++tries) Sleep(50);

  platform::FileInfo own;
  ASSERT_TRUE(platform::QueryFileInfo(link, own));
  platform::FileInfo followed;
  ASSERT_TRUE(platform::QueryFileInfoOfTarget(link, followed));
  EXPECT_FALSE(followed.is_directory);
  EXPECT_FALSE(followed.is_reparse_point);
  EXPECT_EQ(followed.size, 5000u);
  std::cout << "link's own status under this system: reparse point " << own.is_reparse_point << ", size "
            << own.size << "\n";

  // A dangling link cannot be opened.
  const std::wstring dangling = root_ + L"\\gone.exe";
  ASSERT_TRUE(RunUnixProgram(L"Z:\\bin\\ln", "/bin/ln -s", root_ + L"\\missing.bin", dangling));
  Sleep(200);
  EXPECT_FALSE(platform::QueryFileInfoOfTarget(dangling, followed));
}

}  // namespace
