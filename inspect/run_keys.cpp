#include "inspect/run_keys.h"

#include "app/activity_log.h"
#include "engine/path_classes.h"
#include "upkeep/admin_mode.h"

namespace {
constexpr std::size_t kNameChars = 256;
constexpr std::size_t kRemovalDataBytes = 1024;
constexpr std::size_t kReferenceDataBytes = 2048;

bool KeyReferences(const AutostartLocation& location, const std::wstring& lowered_path) {
  std::vector<platform::RegistryValue> values;
  if (!platform::ReadRegistryValues(location.hive, location.key, kNameChars, kReferenceDataBytes, values)) return false;
  for (const auto& value : values) {
    if (Contains(ToLowerAscii(RegistryDataText(value.data)), lowered_path)) return true;
  }
  return false;
}
}  // namespace

const std::vector<AutostartLocation>& AutostartLocations() {
  static const std::vector<AutostartLocation> locations = {
      {platform::RegistryHive::CurrentUser, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", L"HKCU"},
      {platform::RegistryHive::CurrentUser, L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce", L"HKCU"},
      {platform::RegistryHive::LocalMachine, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", L"HKLM"},
      {platform::RegistryHive::LocalMachine, L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce", L"HKLM"},
  };
  return locations;
}

std::wstring ExtractExecutablePath(std::wstring_view command_line) {
  if (command_line.size() > 1 && command_line.front() == L'"') {
    const std::size_t closing = command_line.find(L'"', 1);
    if (closing != std::wstring_view::npos) return std::wstring(command_line.substr(1, closing - 1));
  }
  const std::size_t blank = command_line.find(L' ');
  if (blank != std::wstring_view::npos) return std::wstring(command_line.substr(0, blank));
  return std::wstring(command_line);
}

std::wstring RegistryDataText(const std::string& data) {
  std::wstring text;
  for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
    const wchar_t c = static_cast<wchar_t>(static_cast<unsigned char>(data[i]) |
                                           (static_cast<unsigned char>(data[i + 1]) << 8));
    if (c == L'\0') break;
    text.push_back(c);
  }
  return text;
}

bool RunValueMatches(const std::wstring& program, const std::wstring& target) {
  if (program.empty()) return false;
  if (program.size() <= target.size() && Contains(target, program)) return true;
  if (target.size() <= program.size() && Contains(program, target)) return true;
  // A program path that ends in a separator has no file name to compare.
  const std::wstring name = FileNameOf(program);
  return !name.empty() && Contains(target, name) && IsUserWritableLocation(program);
}

void RemoveRunValuesFor(const std::wstring& target_path) {
  // Every value with a program path would "contain" an empty target.
  if (target_path.empty()) return;
  const std::wstring target = ToLowerAscii(target_path);
  for (const auto& location : AutostartLocations()) {
    std::vector<platform::RegistryValue> values;
    if (!platform::ReadRegistryValues(location.hive, location.key, kNameChars, kRemovalDataBytes, values)) continue;
    std::vector<std::wstring> matching;
    for (const auto& value : values) {
      if (RunValueMatches(ToLowerAscii(ExtractExecutablePath(RegistryDataText(value.data))), target)) {
        matching.push_back(value.name);
      }
    }
    for (const auto& name : matching) {
      if (platform::DeleteRegistryValue(location.hive, location.key, name)) {
        AppendActivity(L"[PERSISTENCE] Removed Run value '" + name + L"' for " + target_path);
      }
    }
  }
}

bool IsReferencedByRunKey(const std::wstring& path) {
  if (path.empty()) return false;  // every command line "contains" an empty path
  const std::wstring lowered = ToLowerAscii(path);
  const auto& locations = AutostartLocations();
  if (KeyReferences(locations[0], lowered) || KeyReferences(locations[1], lowered)) return true;
  if (!AdminMode.load()) return false;
  return KeyReferences(locations[2], lowered) || KeyReferences(locations[3], lowered);
}
