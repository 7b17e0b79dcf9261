// A DLL planted beside the program under a system library's name must never be
// loaded: the programs import only KnownDLLs the ordinary way, restrict the search
// to System32 first thing, and take every other library through delay imports
// loaded from System32. The planted DLL (fixtures/planted_dll.cpp) leaves
// "<name>.loaded" beside itself when anything loads it.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/processes.h"
#include "temp_folder.h"

namespace {

// Every library that KestruneAV.exe delay-loads, and the xinput library that the
// Dear ImGui back end loads by name.
const char* const kDelayLoaded[] = {"bcrypt.dll", "d3d11.dll", "d3dcompiler_47.dll", "dwmapi.dll", "pdh.dll",
                                    "rasapi32.dll", "wintrust.dll", "wlanapi.dll"};
const char kXinput[] = "xinput1_4.dll";

// Windows 10's KnownDLLs (always mapped from System32), and ntdll, which every
// process has before its first instruction.
const std::set<std::string> kKnownDlls = {
    "advapi32.dll", "clbcatq.dll",  "combase.dll",  "comdlg32.dll", "coml2.dll",    "difxapi.dll",
    "gdi32.dll",    "gdiplus.dll",  "imagehlp.dll", "imm32.dll",    "kernel32.dll", "msctf.dll",
    "msvcrt.dll",   "normaliz.dll", "nsi.dll",      "ntdll.dll",    "ole32.dll",    "oleaut32.dll",
    "psapi.dll",    "rpcrt4.dll",   "sechost.dll",  "setupapi.dll", "shcore.dll",   "shell32.dll",
    "shlwapi.dll",  "user32.dll",   "wldap32.dll",  "ws2_32.dll"};

std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::wstring Lower(std::wstring text) {
  std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return std::towlower(c); });
  return text;
}

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

// The build folder of the test program: the fixtures sit beside it, the programs
// one folder up.
std::wstring TestProgramFolder() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return FolderOf(std::wstring(path, length));
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The names in a PE file's ordinary import table, lowercased; empty if the file
// cannot be read as a 64-bit image.
std::vector<std::string> OrdinaryImports(const std::wstring& path) {
  std::ifstream file(std::filesystem::path(path), std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::vector<std::string> names;
  if (bytes.size() < sizeof(IMAGE_DOS_HEADER)) return names;
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(bytes.data());
  if (dos->e_magic != IMAGE_DOS_SIGNATURE || bytes.size() < dos->e_lfanew + sizeof(IMAGE_NT_HEADERS64)) return names;
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(bytes.data() + dos->e_lfanew);
  if (nt->Signature != IMAGE_NT_SIGNATURE || nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC) return names;
  const IMAGE_SECTION_HEADER* sections = IMAGE_FIRST_SECTION(nt);
  const auto offset_of = [&](DWORD rva) -> size_t {
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i) {
      const IMAGE_SECTION_HEADER& section = sections[i];
      if (rva >= section.VirtualAddress && rva < section.VirtualAddress + section.SizeOfRawData) {
        return rva - section.VirtualAddress + section.PointerToRawData;
      }
    }
    return bytes.size();
  };
  const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (size_t at = offset_of(imports.VirtualAddress); at + sizeof(IMAGE_IMPORT_DESCRIPTOR) <= bytes.size();
       at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
    const auto* descriptor = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(bytes.data() + at);
    if (descriptor->Name == 0) break;
    const size_t name_at = offset_of(descriptor->Name);
    if (name_at >= bytes.size()) break;
    std::string name(bytes.c_str() + name_at);
    std::transform(name.begin(), name.end(), name.begin(), [](char c) { return std::tolower(c); });
    names.push_back(name);
  }
  return names;
}

}  // namespace

TEST(DllSearchWin32, ProgramsImportOnlyKnownDllsTheOrdinaryWay) {
  const std::wstring build = FolderOf(TestProgramFolder());
  for (const wchar_t* program : {L"KestruneAV.exe", L"KestruneScan.exe"}) {
    SCOPED_TRACE(testing::Message() << program);
    const std::vector<std::string> imports = OrdinaryImports(build + L"\\" + program);
    ASSERT_NE(std::find(imports.begin(), imports.end(), "kernel32.dll"), imports.end());
    for (const std::string& dll : imports) EXPECT_EQ(kKnownDlls.count(dll), 1u) << dll << " is not a KnownDLL";
  }
  // The reader does see a library that is not a KnownDLL: the unprotected probe
  // imports dwmapi.dll the ordinary way.
  const std::vector<std::string> plain = OrdinaryImports(TestProgramFolder() + L"\\kav_dll_probe_plain.exe");
  EXPECT_NE(std::find(plain.begin(), plain.end(), "dwmapi.dll"), plain.end());
}

// A copy of a program in a fresh folder with the planted DLL beside it under every
// library's name.
class PlantedDllTest : public TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    const std::wstring planted = TestProgramFolder() + L"\\planted.dll";
    ASSERT_TRUE(Exists(planted));
    for (const std::string& name : AllNames()) {
      ASSERT_TRUE(CopyFileW(planted.c_str(), (root_ + L"\\" + Widen(name)).c_str(), TRUE));
    }
    // Wine answers some names (xinput1_4) with its own builtin library even when a
    // native file is found in the program's folder; for the programs run here it is
    // told to prefer native files, as Windows always does, so that only the search
    // path decides. Windows ignores these keys.
    for (const wchar_t* program : kPrograms) {
      HKEY key = nullptr;
      ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, WineOverridesKey(program).c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                nullptr, &key, nullptr),
                ERROR_SUCCESS);
      for (const std::string& name : AllNames()) {
        const std::wstring module = Widen(name.substr(0, name.size() - 4));
        const wchar_t order[] = L"native,builtin";
        RegSetValueExW(key, module.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(order), sizeof(order));
      }
      RegCloseKey(key);
    }
  }
  void TearDown() override {
    for (const wchar_t* program : kPrograms) {
      RegDeleteTreeW(HKEY_CURRENT_USER, WineOverridesKey(program).c_str());
      RegDeleteKeyW(HKEY_CURRENT_USER, (std::wstring(L"Software\\Wine\\AppDefaults\\") + program).c_str());
    }
    // Wine lets go of an ended program's image and DLL files a moment after its end,
    // and until then the folder cannot go; a leftover would only be removed by the
    // next run's set-up, so give it a little time.
    for (int attempt = 0; attempt < 40 && Exists(root_); ++attempt) {
      RemoveTree(root_);
      if (Exists(root_)) Sleep(50);
    }
    TempFolderTest::TearDown();
  }

  static constexpr const wchar_t* kPrograms[] = {L"kav_dll_probe.exe", L"kav_dll_probe_plain.exe",
                                                 L"KestruneScan.exe"};
  static std::wstring WineOverridesKey(const wchar_t* program) {
    return std::wstring(L"Software\\Wine\\AppDefaults\\") + program + L"\\DllOverrides";
  }
  static std::vector<std::string> AllNames() {
    std::vector<std::string> names(std::begin(kDelayLoaded), std::end(kDelayLoaded));
    names.push_back(kXinput);
    return names;
  }

  struct Run {
    platform::ToolRun run;
    std::string output;
    std::map<std::string, std::wstring> module_of;  // dll -> the file that answered, lowercased

    // The folder of the file that answered for the library, empty if none did.
    std::wstring FolderFor(const std::string& dll) const {
      const auto found = module_of.find(dll);
      return found == module_of.end() ? std::wstring() : FolderOf(found->second);
    }
  };

  // Copies the program into the folder and runs it there.
  Run RunCopy(const std::wstring& source, const std::wstring& arguments) {
    const std::wstring copy = root_ + source.substr(source.find_last_of(L'\\'));
    EXPECT_TRUE(CopyFileW(source.c_str(), copy.c_str(), TRUE));
    Run result;
    result.run = platform::RunToolCapturingOutput(
        copy, L"\"" + copy + L"\" " + arguments, root_, 120000, [] {},
        [&](std::string_view bytes) { result.output.append(bytes); });
    std::istringstream lines(result.output);
    for (std::string line; std::getline(lines, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      const size_t first = line.find('\t');
      const size_t second = line.find('\t', first == std::string::npos ? first : first + 1);
      if (first == std::string::npos || second == std::string::npos) continue;
      result.module_of[line.substr(0, first)] = Lower(Widen(line.substr(second + 1)));
    }
    return result;
  }

  bool Planted(const std::string& dll) const { return Exists(root_ + L"\\" + Widen(dll) + L".loaded"); }
};

TEST_F(PlantedDllTest, AProgramThatStartsAsKestruneDoesTakesEveryLibraryFromSystem32) {
  const Run probe = RunCopy(TestProgramFolder() + L"\\kav_dll_probe.exe", L"");
  ASSERT_TRUE(probe.run.started);
  EXPECT_EQ(probe.run.exit_code, 0u) << probe.output;
  const std::wstring system = Lower(platform::SystemFolder());
  for (const std::string& dll : AllNames()) {
    SCOPED_TRACE(dll);
    // The call returned, answered by the system's library.
    EXPECT_EQ(probe.FolderFor(dll), system) << probe.output;
    EXPECT_FALSE(Planted(dll));
  }
}

TEST_F(PlantedDllTest, DelayLoadsComeFromSystem32EvenBeforeTheSearchIsRestricted) {
  // Without the first call only the delay-load helper protects the program: the
  // delay-loaded libraries still come from System32, while a library loaded by
  // name (xinput, as the GUI library does) is taken from the program's folder.
  const Run probe = RunCopy(TestProgramFolder() + L"\\kav_dll_probe.exe", L"--helper-only");
  ASSERT_TRUE(probe.run.started);
  EXPECT_EQ(probe.run.exit_code, 0u) << probe.output;
  const std::wstring system = Lower(platform::SystemFolder());
  for (const char* dll : kDelayLoaded) {
    SCOPED_TRACE(dll);
    EXPECT_EQ(probe.FolderFor(dll), system) << probe.output;
    EXPECT_FALSE(Planted(dll));
  }
  EXPECT_TRUE(Planted(kXinput));
  EXPECT_EQ(probe.FolderFor(kXinput), Lower(root_));
}

TEST_F(PlantedDllTest, AProgramWithOrdinaryImportsAndNoRestrictionLoadsThePlantedDll) {
  // The attack itself, so that the two tests above prove something.
  const Run probe = RunCopy(TestProgramFolder() + L"\\kav_dll_probe_plain.exe", L"");
  ASSERT_TRUE(probe.run.started);
  EXPECT_EQ(probe.run.exit_code, 0u) << probe.output;
  for (const char* dll : {"dwmapi.dll", kXinput}) {
    SCOPED_TRACE(dll);
    EXPECT_TRUE(Planted(dll));
    EXPECT_EQ(probe.FolderFor(dll), Lower(root_)) << probe.output;
  }
}

TEST_F(PlantedDllTest, TheConsoleScannerHashesWithPlantedDllsBesideIt) {
  // The real KestruneScan.exe: a listed hash is matched (bcrypt.dll at work) and
  // none of the planted copies is loaded.
  const std::wstring lists = root_ + L"\\lists";
  ASSERT_TRUE(CreateDirectoryW(lists.c_str(), nullptr));
  std::ofstream(std::filesystem::path(lists + L"\\bad-hashes.txt"), std::ios::binary)
      << "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad\r\n";
  std::ofstream(std::filesystem::path(root_ + L"\\bad.bin"), std::ios::binary) << "abc";
  const Run scan = RunCopy(FolderOf(TestProgramFolder()) + L"\\KestruneScan.exe",
                           L"--data-dir \"" + lists + L"\" \"" + root_ + L"\\bad.bin\"");
  ASSERT_TRUE(scan.run.started);
  EXPECT_EQ(scan.run.exit_code, 1u) << scan.output;
  EXPECT_NE(scan.output.find("Local bad-hash match"), std::string::npos) << scan.output;
  for (const std::string& dll : AllNames()) EXPECT_FALSE(Planted(dll)) << dll;
}
