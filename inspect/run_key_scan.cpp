#include "inspect/run_key_scan.h"

#include <vector>

#include "app/activity_log.h"
#include "engine/path_classes.h"
#include "inspect/existence.h"
#include "inspect/run_keys.h"
#include "platform/environment.h"
#include "platform/registry.h"
#include "scan/file_scan.h"

namespace {
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;

void ScanRunKey(const AutostartLocation& location) {
  std::vector<platform::RegistryValue> values;
  if (!platform::ReadRegistryValues(location.hive, location.key, kRunValueMaxBytes, values)) {
    AppendActivity(std::wstring(L"[REGISTRY] Could not open ") + location.label + L"\\" + location.key);
    return;
  }
  for (const auto& value : values) {
    const std::wstring entry = std::wstring(L"[REGISTRY] ") + location.label + L" Run '" + value.name + L"'";
    if (value.too_large) {
      AppendActivity(entry + L" could not be checked: its data is over " + std::to_wstring(kRunValueMaxBytes) +
                     L" bytes");
      continue;
    }
    const bool text = value.type == kRegSz || value.type == kRegExpandSz;
    const std::wstring written = ExtractExecutablePath(text ? RegistryDataText(value.data) : std::wstring());
    AppendActivity(entry + L" -> " + written);
    // An expandable value ("%LOCALAPPDATA%\\x.exe") names the program it starts only
    // once expanded, as Windows expands it at logon.
    const std::wstring path = value.type == kRegExpandSz ? platform::ExpandEnvironmentText(written) : written;
    if (path.empty() || IsSystemLocation(path)) continue;
    // The path is tested as written; one the file system will not answer for is
    // logged, and the values after it are still scanned.
    const Existence program = TestExistence(path);
    if (!program.known) {
      AppendActivity(entry + L" could not be checked: " + path + L" (" + program.failure + L")");
    } else if (program.exists) {
      ScanFileStep(path);
    }
  }
}
}  // namespace

void ScanRunKeys() {
  for (const auto& location : AutostartLocations()) ScanRunKey(location);
}
