#include "inspect/run_keys.h"

#include <optional>
#include <stdexcept>

#include "app/activity_log.h"
#include "engine/hash_lists.h"
#include "engine/path_classes.h"
#include "inspect/services.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "upkeep/admin_mode.h"

namespace {
bool KeyReferences(const AutostartLocation& location, const std::wstring& lowered_path) {
  std::vector<platform::RegistryValue> values;
  if (!platform::ReadRegistryValues(location.hive, location.key, kRunValueMaxBytes, values)) return false;
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

bool IsSameNameInUserFolder(const std::wstring& program, const std::wstring& target) {
  // A program path that ends in a separator has no file name to compare.
  const std::wstring name = FileNameOf(program);
  return !name.empty() && name == FileNameOf(target) && IsUserWritableLocation(program);
}


namespace {
void RemoveRunValues(const std::wstring& target_path, std::optional<std::wstring> target_hash) {
  // Every value with a program path would "contain" an empty target.
  if (target_path.empty()) return;
  const std::wstring target = ToLowerAscii(target_path);
  // Taken while the target still exists, and only when a same-named program needs it.
  for (const auto& location : AutostartLocations()) {
    std::vector<platform::RegistryValue> values;
    if (!platform::ReadRegistryValues(location.hive, location.key, kRunValueMaxBytes, values)) continue;
    std::vector<std::wstring> matching;
    for (const auto& value : values) {
      const std::wstring program = platform::ExpandEnvironmentText(ExtractExecutablePath(RegistryDataText(value.data)));
      const std::wstring lowered = ToLowerAscii(program);
      bool match = ProgramNamesTarget(lowered, target);
      if (!match && IsSameNameInUserFolder(lowered, target)) {
        if (!target_hash) target_hash = ComputeFileSha256(target_path);
        match = IsCopyOrGone(program, *target_hash);
      }
      if (match) matching.push_back(value.name);
    }
    for (const auto& name : matching) {
      if (platform::DeleteRegistryValue(location.hive, location.key, name)) {
        AppendActivity(L"[PERSISTENCE] Removed Run value '" + name + L"' for " + target_path);
      }
    }
  }
}
}  // namespace

void RemoveRunValuesFor(const std::wstring& target_path) { RemoveRunValues(target_path, std::nullopt); }

void RemoveRunValuesFor(const std::wstring& target_path, const std::wstring& target_hash) {
  RemoveRunValues(target_path, target_hash);
}

bool IsReferencedByRunKey(const std::wstring& path) {
  if (path.empty()) return false;  // every command line "contains" an empty path
  const std::wstring lowered = ToLowerAscii(path);
  const auto& locations = AutostartLocations();
  if (KeyReferences(locations[0], lowered) || KeyReferences(locations[1], lowered)) return true;
  if (!AdminMode.load()) return false;
  return KeyReferences(locations[2], lowered) || KeyReferences(locations[3], lowered);
}
