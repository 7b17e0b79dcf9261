// What the engine is given of files it cannot read whole or that are links, on the
// real system (Windows or Wine): the command-line scanner on a file whose reads fail,
// and the status of a file link taken through a handle.
#include <windows.h>

#include <gtest/gtest.h>

#include "temp_folder.h"

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/files.h"
#include "platform/processes.h"

namespace {

class EngineReadsWin32 : public TempFolderTest {
 protected:
  // Removes a Unix link that Wine shows as the file it leads to, and waits until it is gone.
  static void UnlinkOnUnixSide(const std::wstring& link) {
    RunUnixProgram(L"Z:\\bin\\rm", "/bin/rm -f", link);
    for (int tries = 0; tries < 100 && GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES; ++tries) Sleep(50);
  }

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

// The file opens but its reads fail. On Windows another program's byte-range lock
// over it does that; Wine does not hold other handles to such locks, so there the
// file is a Unix link to /proc/self/mem, which every process opens as its own memory
// and whose first page cannot be read. With a bad-hash list the judgement needs the
// whole file, and "clean" would be a guess: the scanner says it could not read it.
TEST_F(EngineReadsWin32, TheScannerReportsAFileWhoseReadsFailAsAReadError) {
  const std::wstring lists = root_ + L"\\lists";
  ASSERT_TRUE(CreateDirectoryW(lists.c_str(), nullptr));
  Write(L"lists\\bad-hashes.txt", std::string(64, 'c') + "\r\n");
  std::string text;
  while (text.size() < 3u << 20) text += "quarterly figures, draft 3\r\n";
  const std::wstring file = Write(L"report.txt", text);

  HANDLE holder = CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  OVERLAPPED range{};
  ASSERT_TRUE(LockFileEx(holder, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &range));
  // Whether a reader that is not the lock's holder is refused here.
  HANDLE reader = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  char byte = 0;
  DWORD got = 0;
  const bool locks_hold = !ReadFile(reader, &byte, 1, &got, nullptr);
  CloseHandle(reader);

  std::wstring unreadable = file;
  if (!locks_hold) {
    UnlockFileEx(holder, 0, MAXDWORD, MAXDWORD, &range);
    unreadable = root_ + L"\\memory.bin";
    ASSERT_TRUE(RunUnixProgram(L"Z:\\bin\\ln", "/bin/ln -s /proc/self/mem", unreadable));
    for (int tries = 0; tries < 100 && GetFileAttributesW(unreadable.c_str()) == INVALID_FILE_ATTRIBUTES; ++tries) {
      Sleep(50);
    }
  }
  const Scan scan = RunScanner(L"--data-dir \"" + lists + L"\" \"" + unreadable + L"\"");
  if (locks_hold) UnlockFileEx(holder, 0, MAXDWORD, MAXDWORD, &range);
  CloseHandle(holder);
  // Deleting the link from here would reach what it points to.
  if (!locks_hold) UnlinkOnUnixSide(unreadable);
  ASSERT_TRUE(scan.started);
  const std::string narrow_path(unreadable.begin(), unreadable.end());
  EXPECT_EQ(scan.exit_code, 2u) << scan.output;
  EXPECT_EQ(scan.output.rfind("error\t-\t-\tcannot be read\t" + narrow_path + "\r\n", 0), 0u) << scan.output;

  // A file that can be read is judged with the same list.
  const Scan readable = RunScanner(L"--data-dir \"" + lists + L"\" \"" + file + L"\"");
  EXPECT_EQ(readable.exit_code, 0u) << readable.output;
  EXPECT_EQ(readable.output.rfind("none\t", 0), 0u) << readable.output;
}

// A symbolic link's own status is the link's (size 0); through a handle opened on
// the path the target answers.
TEST_F(EngineReadsWin32, AFileLinkGivesItsTargetsSizeThroughAHandle) {
  const std::wstring target = Write(L"payload.bin", std::string(5000, 'p'));
  const std::wstring link = root_ + L"\\tool.exe";
  // Under Wine a Unix link is planted (what Wine's own CreateSymbolicLinkW makes
  // cannot be opened); Windows makes one where the account may (developer mode, or
  // the privilege).
  const bool unix_link = RunUnixProgram(L"Z:\\bin\\ln", "/bin/ln -s", target, link);
  const bool windows_link = !unix_link && CreateSymbolicLinkW(link.c_str(), target.c_str(), 0x2 /* unprivileged */);
  if (!unix_link && !windows_link) GTEST_SKIP() << "this account cannot make symbolic links";
  for (int tries = 0; tries < 100 && GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES; ++tries) Sleep(50);

  platform::FileInfo followed;
  ASSERT_TRUE(platform::QueryFileInfoOfTarget(link, followed));
  EXPECT_FALSE(followed.is_directory);
  EXPECT_FALSE(followed.is_reparse_point);
  EXPECT_EQ(followed.size, 5000u);
  // Wine shows a Unix link to a file as the file itself (no reparse point, the
  // target's size), so the link's own status is checked on Windows only.
  platform::FileInfo own;
  ASSERT_TRUE(platform::QueryFileInfo(link, own));
  if (windows_link) {
    EXPECT_TRUE(own.is_reparse_point);
    EXPECT_EQ(own.size, 0u);
  }
  // Wine deletes through a Unix link, and not at all once its target is gone: the
  // link is unlinked on the Unix side while the target still answers.
  if (unix_link) UnlinkOnUnixSide(link);
}

}  // namespace
