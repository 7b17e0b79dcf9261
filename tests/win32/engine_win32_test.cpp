// The engine over the real Windows layer: file heads, registry, hashing.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/activity_log.h"
#include "engine/hash_lists.h"
#include "engine/pe_analysis.h"
#include "engine/scorer.h"
#include "inspect/run_keys.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/process_setup.h"

namespace {

std::wstring TempFolder(const wchar_t* name) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring folder = std::wstring(temp) + name;
  platform::MakeDirectories(folder);
  return folder;
}

std::string PeWithSection(const char* name, uint32_t characteristics) {
  std::string bytes(1024, '\0');
  bytes[0] = 'M';
  bytes[1] = 'Z';
  bytes[60] = static_cast<char>(0x80);
  memcpy(&bytes[0x80], "PE\0\0", 4);
  bytes[0x80 + 6] = 1;                          // one section
  const std::size_t entry = 0x80 + 24;          // no optional header
  memcpy(&bytes[entry], name, strlen(name));
  memcpy(&bytes[entry + 36], &characteristics, 4);
  return bytes;
}

TEST(EngineWin32, RealExecutablesHaveNoRwxSection) {
  const std::wstring self = platform::ModuleFilePath();
  wchar_t system[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  const std::wstring copy = TempFolder(L"kav-engine-pe") + L"\\kernel32-copy.dll";
  ASSERT_TRUE(CopyFileW((std::wstring(system) + L"\\kernel32.dll").c_str(), copy.c_str(), FALSE));
  for (const std::wstring& path : {self, copy}) {
    SCOPED_TRACE(std::string(path.begin(), path.end()));
    const HeuristicResult record = AnalyzeFile(path);
    EXPECT_EQ(record.reason.find(L"RWX"), std::wstring::npos);
    EXPECT_GT(record.entropy, 0.0);
    EXPECT_FALSE(HasValidSignature(path));  // nothing here is signed
  }
  DeleteFileW(copy.c_str());
}

TEST(EngineWin32, RwxSectionFoundInARealFileHead) {
  const std::wstring folder = TempFolder(L"kav-engine-rwx");
  const std::wstring evil = folder + L"\\evil.exe";
  const std::wstring clr = folder + L"\\managed.exe";
  ASSERT_TRUE(platform::WriteFileBytes(evil, PeWithSection(".evil", 0xE0000020)));
  ASSERT_TRUE(platform::WriteFileBytes(clr, PeWithSection(".clr", 0xE0000020)));
  EXPECT_EQ(AnalyzeFile(evil).reason, L"Unusual PE Section contains RWX attributes");
  EXPECT_EQ(AnalyzeFile(clr).reason, L"Clean File");
  DeleteFileW(evil.c_str());
  DeleteFileW(clr.c_str());
}

TEST(EngineWin32, FileHashesFromBCrypt) {
  const std::wstring file = TempFolder(L"kav-engine-hash") + L"\\abc.txt";
  ASSERT_TRUE(platform::WriteFileBytes(file, "abc"));
  EXPECT_EQ(ComputeFileSha256(file), L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(ComputeFileSha256(file + L".missing"), L"");
  DeleteFileW(file.c_str());
}

TEST(EngineWin32, RunValuesRemovedFromTheRealRegistry) {
  const wchar_t* run = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  const auto hkcu = platform::RegistryHive::CurrentUser;
  ASSERT_TRUE(platform::WriteRegistryString(hkcu, run, L"KavTestEvil", L"\"C:\\users\\Public\\Downloads\\evil.exe\" /s"));
  ASSERT_TRUE(platform::WriteRegistryString(hkcu, run, L"KavTestKeep", L"C:\\Windows\\System32\\evil.exe"));
  EXPECT_TRUE(IsReferencedByRunKey(L"C:\\Users\\Public\\Downloads\\EVIL.exe"));

  ResetActivityState();
  RemoveRunValuesFor(L"C:\\Users\\Public\\Downloads\\evil.exe");
  std::vector<platform::RegistryValue> values;
  ASSERT_TRUE(platform::ReadRegistryValues(hkcu, run, 65536, values));
  bool evil_left = false;
  bool keep_left = false;
  for (const auto& value : values) {
    evil_left |= value.name == L"KavTestEvil";
    keep_left |= value.name == L"KavTestKeep";
  }
  EXPECT_FALSE(evil_left);
  EXPECT_TRUE(keep_left);
  EXPECT_EQ(ActivityLines(), std::vector<std::wstring>{
                                 L"[PERSISTENCE] Removed Run value 'KavTestEvil' for C:\\Users\\Public\\Downloads\\evil.exe"});
  platform::DeleteRegistryValue(hkcu, run, L"KavTestKeep");
}

}  // namespace
