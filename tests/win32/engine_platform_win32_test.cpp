// The Windows layer under the scanning engine: files, hashes, signatures, registry
// and console output, run against the real system (Windows or Wine).
#include <windows.h>
#include <winioctl.h>

#include <gtest/gtest.h>

#include "temp_folder.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <cwctype>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "platform/console.h"
#include "platform/crypto.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/trust.h"

namespace {

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  for (const unsigned char byte : bytes) {
    hex += digits[byte >> 4];
    hex += digits[byte & 15];
  }
  return hex;
}

// Bytes that differ from one position to the next, so that a lost or repeated
// chunk changes the result.
std::string Pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 % 251);
  return bytes;
}

std::wstring ThisProgram() {
  wchar_t path[MAX_PATH * 4];
  const DWORD length = GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
  return std::wstring(path, length);
}

class EnginePlatformWin32 : public TempFolderTest {
 protected:
  std::wstring Write(const std::wstring& name, const std::string& bytes) {
    const std::wstring path = root_ + L"\\" + name;
    EXPECT_TRUE(platform::WriteFileBytes(path, bytes));
    return path;
  }
};

// ---- Files ----

TEST_F(EnginePlatformWin32, AppendCreatesThenExtends) {
  const std::wstring file = root_ + L"\\log.txt";
  ASSERT_TRUE(platform::AppendFileBytes(file, "first\r\n"));
  ASSERT_TRUE(platform::AppendFileBytes(file, std::string("\0second\r\n", 9)));
  ASSERT_TRUE(platform::AppendFileBytes(file, ""));
  std::string read;
  ASSERT_TRUE(platform::ReadFileBytes(file, read));
  EXPECT_EQ(read, std::string("first\r\n\0second\r\n", 16));
  EXPECT_FALSE(platform::AppendFileBytes(root_ + L"\\no-folder\\log.txt", "x"));
}

TEST_F(EnginePlatformWin32, ChunkedReadsCoverTheFileInOrder) {
  const std::wstring file = Write(L"digits.bin", "0123456789");
  struct Case {
    std::size_t chunk;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {1, {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"}},
      {3, {"012", "345", "678", "9"}},
      {5, {"01234", "56789"}},
      {10, {"0123456789"}},
      {4096, {"0123456789"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.chunk);
    std::vector<std::string> seen;
    ASSERT_TRUE(platform::ReadFileInChunks(file, c.chunk, [&](std::string_view chunk) {
      seen.emplace_back(chunk);
      return true;
    }));
    EXPECT_EQ(seen, c.expected);
  }
}

TEST_F(EnginePlatformWin32, ChunkedReadsStopWhenAskedAndSkipEmptyFiles) {
  const std::wstring file = Write(L"digits.bin", "0123456789");
  std::vector<std::string> seen;
  ASSERT_TRUE(platform::ReadFileInChunks(file, 4, [&](std::string_view chunk) {
    seen.emplace_back(chunk);
    return seen.size() < 2;
  }));
  EXPECT_EQ(seen, (std::vector<std::string>{"0123", "4567"}));

  int calls = 0;
  const auto count = [&](std::string_view) { return ++calls, true; };
  EXPECT_TRUE(platform::ReadFileInChunks(Write(L"empty.bin", ""), 16, count));
  EXPECT_FALSE(platform::ReadFileInChunks(root_ + L"\\missing.bin", 16, count));
  EXPECT_FALSE(platform::ReadFileInChunks(root_, 16, count));  // a folder is not a file
  EXPECT_EQ(calls, 0);
}

TEST_F(EnginePlatformWin32, SharedReadersCoexistWithWritersButNotWithAnExclusiveHolder) {
  const std::wstring file = Write(L"busy.bin", "MZ busy");
  const auto head = [&] {
    std::string bytes;
    uint64_t size = 0;
    return platform::ReadFileHead(file, 64, bytes, size) ? bytes : std::string("<not read>");
  };
  const auto read_all = [&] {
    std::string bytes;
    const bool opened = platform::ReadFileInChunks(file, 3, [&](std::string_view chunk) {
      bytes.append(chunk);
      return true;
    });
    return opened ? bytes : std::string("<not opened>");
  };

  // Another program writing the file and allowing deletion: every shared reader,
  // the head read included, still gets in.
  HANDLE writer = CreateFileW(file.c_str(), GENERIC_WRITE | DELETE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(platform::CanOpenForReading(file));
  EXPECT_EQ(read_all(), "MZ busy");
  EXPECT_EQ(head(), "MZ busy");
  CloseHandle(writer);

  // A program holding the file exclusively keeps every reader out.
  HANDLE exclusive =
      CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(platform::CanOpenForReading(file));
  EXPECT_EQ(read_all(), "<not opened>");
  EXPECT_EQ(head(), "<not read>");
  CloseHandle(exclusive);
  EXPECT_TRUE(platform::CanOpenForReading(file));
  EXPECT_EQ(head(), "MZ busy");
  EXPECT_FALSE(platform::CanOpenForReading(root_ + L"\\missing.bin"));
}

TEST_F(EnginePlatformWin32, FileInfoSizesTimesAndFolders) {
  const std::wstring file = Write(L"five.bin", "12345");
  // 2020-01-01 00:00:00 UTC: both halves of the file time are non-zero.
  const uint64_t stamp = 132223104000000000ull;
  HANDLE handle = CreateFileW(file.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  FILETIME time{static_cast<DWORD>(stamp), static_cast<DWORD>(stamp >> 32)};
  ASSERT_TRUE(SetFileTime(handle, nullptr, nullptr, &time));
  CloseHandle(handle);

  platform::FileInfo info;
  ASSERT_TRUE(platform::QueryFileInfo(file, info));
  EXPECT_FALSE(info.is_directory);
  EXPECT_FALSE(info.is_reparse_point);
  EXPECT_EQ(info.size, 5u);
  EXPECT_EQ(info.last_write_time, stamp);

  ASSERT_TRUE(platform::QueryFileInfo(root_, info));
  EXPECT_TRUE(info.is_directory);
  EXPECT_FALSE(info.is_reparse_point);

  const platform::FileInfo untouched;
  info = untouched;
  EXPECT_FALSE(platform::QueryFileInfo(root_ + L"\\missing.bin", info));
}

TEST_F(EnginePlatformWin32, FileInfoSizeBeyondFourGigabytes) {
  // A sparse file, so that the size costs no disk space; the high half of the size must count.
  const std::wstring file = root_ + L"\\large.bin";
  const bool sized = MakeHugeSparseFile(file);
  if (!sized) GTEST_SKIP() << "this file system cannot hold a sparse 5 GiB file";

  platform::FileInfo info;
  ASSERT_TRUE(platform::QueryFileInfo(file, info));
  EXPECT_EQ(info.size, (5ull << 30) + 3);
}

TEST_F(EnginePlatformWin32, FoldersListTheirEntriesOnly) {
  Write(L"file.txt", "x");
  ASSERT_TRUE(CreateDirectoryW((root_ + L"\\sub").c_str(), nullptr));
  Write(L"sub\\inner.txt", "y");  // not listed: only the folder's own entries count

  for (const std::wstring& folder : {root_, root_ + L"\\"}) {
    SCOPED_TRACE(Narrow(folder));
    std::vector<platform::FolderEntry> entries;
    ASSERT_TRUE(platform::ListFolder(folder, entries));
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, L"file.txt");
    EXPECT_FALSE(entries[0].is_directory);
    EXPECT_EQ(entries[1].name, L"sub");
    EXPECT_TRUE(entries[1].is_directory);
    EXPECT_FALSE(entries[0].is_reparse_point || entries[1].is_reparse_point);
  }

  ASSERT_TRUE(CreateDirectoryW((root_ + L"\\empty").c_str(), nullptr));
  std::vector<platform::FolderEntry> entries{{L"stale", false, false, 1, 1}};
  ASSERT_TRUE(platform::ListFolder(root_ + L"\\empty", entries));
  EXPECT_TRUE(entries.empty());

  for (const std::wstring& bad : {root_ + L"\\missing", root_ + L"\\file.txt"}) {
    SCOPED_TRACE(Narrow(bad));
    EXPECT_FALSE(platform::ListFolder(bad, entries));
  }
}

TEST(EnginePlatformWin32Paths, FullPathsAreAbsolute) {
  wchar_t current[MAX_PATH];
  const DWORD length = GetCurrentDirectoryW(MAX_PATH, current);
  ASSERT_GT(length, 2u);
  std::wstring cwd(current, length);
  if (cwd.back() == L'\\') cwd.pop_back();  // a drive root

  struct Case {
    std::wstring input;
    std::wstring expected;
  };
  const Case cases[] = {
      {L"name.exe", cwd + L"\\name.exe"},
      {L"some\\folder\\name.exe", cwd + L"\\some\\folder\\name.exe"},
      {L"a\\..\\b\\.\\name.exe", cwd + L"\\b\\name.exe"},
      {L"C:\\Already\\Absolute.dll", L"C:\\Already\\Absolute.dll"},
      {L"", L""},  // GetFullPathNameW refuses it: the input comes back
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(c.input));
    const std::wstring full = platform::FullPathOf(c.input);
    EXPECT_EQ(full, c.expected);
  }
  const std::wstring full = platform::FullPathOf(L"x.txt");
  ASSERT_GE(full.size(), 3u);
  EXPECT_TRUE(iswalpha(full[0]) && full[1] == L':' && full[2] == L'\\') << Narrow(full);
}

// ---- Heads of real PE files ----

// e_lfanew (offset 0x3C) names where "PE\0\0" starts; both must lie inside the head.
bool HeadHasPeSignature(const std::string& head) {
  if (head.size() < 0x40 || head[0] != 'M' || head[1] != 'Z') return false;
  uint32_t pe = 0;
  std::memcpy(&pe, head.data() + 0x3C, sizeof(pe));
  return pe + 4 <= head.size() && head.compare(pe, 4, std::string("PE\0\0", 4)) == 0;
}

TEST_F(EnginePlatformWin32, HeadOfThisProgramMatchesItsBytes) {
  const std::wstring self = ThisProgram();
  std::string content;
  ASSERT_TRUE(platform::ReadFileBytes(self, content));
  ASSERT_GT(content.size(), 4096u);

  for (const std::size_t max : {std::size_t{4096}, content.size() - 1, content.size(), std::size_t{1} << 30}) {
    SCOPED_TRACE(max);
    std::string head = "stale";
    uint64_t file_size = 0;
    ASSERT_TRUE(platform::ReadFileHead(self, max, head, file_size));
    EXPECT_EQ(file_size, content.size());
    ASSERT_EQ(head.size(), std::min(max, content.size()));
    EXPECT_TRUE(HeadHasPeSignature(head));
    EXPECT_EQ(head, content.substr(0, head.size()));
  }
}

TEST_F(EnginePlatformWin32, HeadOfASystemDllIsCapped) {
  wchar_t system[MAX_PATH];
  const UINT length = GetSystemDirectoryW(system, MAX_PATH);
  ASSERT_GT(length, 0u);
  const std::wstring copy = root_ + L"\\kernel32-copy.dll";
  ASSERT_TRUE(CopyFileW((std::wstring(system, length) + L"\\kernel32.dll").c_str(), copy.c_str(), TRUE));
  platform::FileInfo info;
  ASSERT_TRUE(platform::QueryFileInfo(copy, info));
  ASSERT_GT(info.size, 4096u);

  std::string head;
  uint64_t file_size = 0;
  ASSERT_TRUE(platform::ReadFileHead(copy, 4096, head, file_size));
  EXPECT_EQ(head.size(), 4096u);
  EXPECT_EQ(file_size, info.size);
  EXPECT_TRUE(HeadHasPeSignature(head));
}

TEST_F(EnginePlatformWin32, HeadRefusesWhatCannotBeRead) {
  const std::wstring empty = Write(L"empty.exe", "");
  struct Case {
    const char* what;
    std::wstring path;
  };
  const Case cases[] = {
      {"empty file", empty},
      {"missing file", root_ + L"\\missing.exe"},
      {"folder", root_},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string head = "kept";
    uint64_t file_size = 77;
    EXPECT_FALSE(platform::ReadFileHead(c.path, 4096, head, file_size));
    EXPECT_EQ(head, "kept");
    EXPECT_EQ(file_size, 77u);
  }
}

TEST_F(EnginePlatformWin32, HeadOfNothingAskedForIsEmptyButSized) {
  const std::wstring small = Write(L"small.exe", "MZ");
  std::string head = "stale";
  uint64_t file_size = 0;
  ASSERT_TRUE(platform::ReadFileHead(small, 0, head, file_size));
  EXPECT_EQ(head, "");
  EXPECT_EQ(file_size, 2u);
}

// ---- Signatures ----

TEST_F(EnginePlatformWin32, UnsignedFilesAreNotTrusted) {
  const std::wstring text = Write(L"note.txt", "not signed");
  const std::wstring fake_exe = Write(L"fake.exe", "MZ" + std::string(200, '\0'));
  for (const std::wstring& path : {text, fake_exe, ThisProgram(), root_ + L"\\missing.exe", std::wstring()}) {
    SCOPED_TRACE(Narrow(path));
    EXPECT_FALSE(platform::VerifyFileSignature(path));
  }
}

// ---- SHA-256 ----

TEST_F(EnginePlatformWin32, Sha256OfKnownFiles) {
  struct Case {
    const char* what;
    std::string content;
    const char* digest;
  };
  const Case cases[] = {
      {"empty", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"one byte past a chunk", Pattern(65537), "4777864940199a04146ef4ed977bc01fa6e98ddb60eed9c1d44eb2e3da0404ad"},
      {"exactly two chunks", Pattern(131072), "02170ec6855258d12448d7937b2faca08544235dba8416054daf149cc32b95c1"},
      {"200,000 a", std::string(200000, 'a'), "2287d207f24a941ff3b56c04c8a25ad56b63e3023207b3bb5b4ac0c9869d74be"},
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::wstring file = Write(L"hash" + std::to_wstring(index++) + L".bin", c.content);
    std::string digest;
    ASSERT_TRUE(platform::Sha256OfFile(file, digest));
    EXPECT_EQ(digest.size(), 32u);
    EXPECT_EQ(Hex(digest), c.digest);
  }

  std::string digest = "kept";
  EXPECT_FALSE(platform::Sha256OfFile(root_ + L"\\missing.bin", digest));
  EXPECT_FALSE(platform::Sha256OfFile(root_, digest));
  EXPECT_EQ(digest, "kept");

  // Fed in pieces of any size, on several threads at once, the hash is the same.
  const std::string bytes = Pattern(300001);
  std::vector<std::thread> threads;
  std::atomic<int> right{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      const platform::Sha256Stream hash = platform::BeginSha256();
      if (!hash) return;
      const std::size_t piece = 1000 + 77777 * t;
      for (std::size_t at = 0; at < bytes.size(); at += piece) {
        if (!platform::AddToSha256(*hash, std::string_view(bytes).substr(at, piece))) return;
      }
      std::string pieces_digest;
      if (platform::FinishSha256(*hash, pieces_digest) && pieces_digest.size() == 32) right.fetch_add(1);
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(right.load(), 4);
  std::string whole;
  ASSERT_TRUE(platform::Sha256OfFile(Write(L"pieces.bin", bytes), whole));
  const platform::Sha256Stream again = platform::BeginSha256();
  ASSERT_TRUE(again);
  ASSERT_TRUE(platform::AddToSha256(*again, bytes));
  std::string direct;
  ASSERT_TRUE(platform::FinishSha256(*again, direct));
  EXPECT_EQ(direct, whole);
}

TEST_F(EnginePlatformWin32, OnePassReadsIntoTheCallersBuffer) {
  const std::string bytes = Pattern(1000000);
  const std::wstring file = Write(L"pass.bin", bytes);
  std::string buffer(300000, '\0');
  std::string seen;
  int reads = 0;
  bool read_failed = true;
  EXPECT_EQ(platform::ReadFileThrough(file, buffer, [&](std::string_view chunk) {
    ++reads;
    seen.append(chunk);
    return true;
  }, read_failed), 0u);
  EXPECT_FALSE(read_failed);
  EXPECT_EQ(seen, bytes);
  EXPECT_EQ(reads, 4);  // three full buffers and the rest
  // The visitor ends the pass early.
  reads = 0;
  EXPECT_EQ(platform::ReadFileThrough(file, buffer, [&](std::string_view) { return ++reads < 2; }, read_failed), 0u);
  EXPECT_EQ(reads, 2);
  const auto never = [](std::string_view) { return true; };
  EXPECT_EQ(platform::ReadFileThrough(root_ + L"\\missing.bin", buffer, never, read_failed),
            static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(platform::ReadFileThrough(root_, buffer, never, read_failed), static_cast<uint32_t>(ERROR_ACCESS_DENIED));
}

// ---- Registry ----

class EnginePlatformWin32Registry : public ::testing::Test {
 protected:
  static constexpr const wchar_t* kParent = L"Software\\KestruneAVTest";
  void SetUp() override { key_ = std::wstring(kParent) + L"\\Run" + std::to_wstring(GetCurrentProcessId()); }
  void TearDown() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, key_.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, kParent);  // only when no other run still uses it
  }

  void SetRaw(const std::wstring& name, DWORD type, const std::string& data) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, key_.c_str(), 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                             static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }

  static std::string Utf16Bytes(const std::wstring& text) {  // with the terminator, as REG_SZ keeps it
    return std::string(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * sizeof(wchar_t));
  }

  std::wstring key_;
};

TEST_F(EnginePlatformWin32Registry, ValuesAreReadWholeInOrder) {
  using platform::RegistryHive;
  // Wine lists values by name and Windows by creation; these names sort in creation order.
  const std::wstring big_text(1500, L'x');         // 3,002 bytes with the terminator
  const std::wstring long_name = L"v6_" + std::wstring(297, L'n');  // 300 characters
  ASSERT_TRUE(platform::WriteRegistryString(RegistryHive::CurrentUser, key_, L"v1_text", L"hello"));
  SetRaw(L"v2_dword", REG_DWORD, std::string("\x78\x56\x34\x12", 4));
  SetRaw(L"v3_binary", REG_BINARY, std::string("\x00\xff\x10", 3));
  SetRaw(L"v4_big", REG_SZ, Utf16Bytes(big_text));
  ASSERT_TRUE(platform::WriteRegistryString(RegistryHive::CurrentUser, key_, L"v5_tail", L""));
  SetRaw(long_name, REG_SZ, Utf16Bytes(L"far"));

  const std::vector<platform::RegistryValue> all = {
      {L"v1_text", REG_SZ, Utf16Bytes(L"hello")},
      {L"v2_dword", REG_DWORD, std::string("\x78\x56\x34\x12", 4)},
      {L"v3_binary", REG_BINARY, std::string("\x00\xff\x10", 3)},
      {L"v4_big", REG_SZ, Utf16Bytes(big_text)},
      {L"v5_tail", REG_SZ, Utf16Bytes(L"")},
      {long_name, REG_SZ, Utf16Bytes(L"far")},
  };
  struct Case {
    std::size_t max_data_bytes;
    std::vector<bool> too_large;  // per value of "all"; the others come whole
  };
  const Case cases[] = {
      {65536, {false, false, false, false, false, false}},
      {3002, {false, false, false, false, false, false}},  // exactly the big string
      {3001, {false, false, false, true, false, false}},   // one byte short of it: named, the rest still read
      {8, {true, false, false, true, false, false}},       // "far" is 8 bytes, "hello" 12
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.max_data_bytes) + " bytes");
    std::vector<platform::RegistryValue> values{{L"stale", 0, ""}};
    ASSERT_TRUE(platform::ReadRegistryValues(RegistryHive::CurrentUser, key_, c.max_data_bytes, values));
    ASSERT_EQ(values.size(), all.size());
    for (std::size_t i = 0; i < all.size(); ++i) {
      SCOPED_TRACE(Narrow(all[i].name.substr(0, 20)));
      EXPECT_EQ(values[i].name, all[i].name);
      EXPECT_EQ(values[i].type, all[i].type);
      EXPECT_EQ(values[i].too_large, c.too_large[i]);
      EXPECT_EQ(values[i].data, c.too_large[i] ? std::string() : all[i].data);
    }
  }
}

TEST_F(EnginePlatformWin32Registry, DeletingValuesAndMissingKeys) {
  using platform::RegistryHive;
  ASSERT_TRUE(platform::WriteRegistryString(RegistryHive::CurrentUser, key_, L"a", L"1"));
  ASSERT_TRUE(platform::WriteRegistryString(RegistryHive::CurrentUser, key_, L"b", L"2"));
  ASSERT_TRUE(platform::WriteRegistryString(RegistryHive::CurrentUser, key_, L"b", L"two"));  // replaced

  EXPECT_TRUE(platform::DeleteRegistryValue(RegistryHive::CurrentUser, key_, L"a"));
  std::vector<platform::RegistryValue> values;
  ASSERT_TRUE(platform::ReadRegistryValues(RegistryHive::CurrentUser, key_, 1024, values));
  ASSERT_EQ(values.size(), 1u);
  EXPECT_EQ(values[0].name, L"b");
  EXPECT_EQ(values[0].data, Utf16Bytes(L"two"));

  EXPECT_FALSE(platform::DeleteRegistryValue(RegistryHive::CurrentUser, key_, L"a"));  // already gone
  const std::wstring missing = key_ + L"\\Missing";
  EXPECT_FALSE(platform::DeleteRegistryValue(RegistryHive::CurrentUser, missing, L"b"));
  EXPECT_FALSE(platform::ReadRegistryValues(RegistryHive::CurrentUser, missing, 1024, values));
  // The scratch key lives under the current user only.
  EXPECT_FALSE(platform::ReadRegistryValues(RegistryHive::LocalMachine, key_, 1024, values));
  EXPECT_FALSE(platform::DeleteRegistryValue(RegistryHive::LocalMachine, key_, L"b"));
}

TEST(EnginePlatformWin32RegistryMachine, LocalMachineHiveIsRead) {
  std::vector<platform::RegistryValue> values;
  ASSERT_TRUE(platform::ReadRegistryValues(platform::RegistryHive::LocalMachine,
                                           L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", 1 << 20,
                                           values));
  const auto product =
      std::find_if(values.begin(), values.end(), [](const auto& value) { return value.name == L"ProductName"; });
  ASSERT_NE(product, values.end());
  EXPECT_EQ(product->type, static_cast<uint32_t>(REG_SZ));
  EXPECT_GT(product->data.size(), 2u);
}

// ---- Console ----

TEST(EnginePlatformWin32Console, RedirectedOutputIsUtf8) {
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  ASSERT_TRUE(CreatePipe(&read_end, &write_end, nullptr, 1 << 16));
  const HANDLE saved = GetStdHandle(STD_OUTPUT_HANDLE);
  SetStdHandle(STD_OUTPUT_HANDLE, write_end);
  platform::WriteStandardOutput(L"caf\u00e9 \u20ac \U0001F600\r\n");
  platform::WriteStandardOutput(L"");
  SetStdHandle(STD_OUTPUT_HANDLE, nullptr);
  platform::WriteStandardOutput(L"nowhere");  // no handle: nothing happens
  SetStdHandle(STD_OUTPUT_HANDLE, saved);
  CloseHandle(write_end);

  std::string got;
  char buffer[256];
  DWORD read = 0;
  while (ReadFile(read_end, buffer, sizeof(buffer), &read, nullptr) && read > 0) got.append(buffer, read);
  CloseHandle(read_end);
  EXPECT_EQ(got, "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80\r\n");
}

}  // namespace
