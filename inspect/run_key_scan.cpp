#include "inspect/run_key_scan.h"

#include <vector>

#include "app/activity_log.h"
#include "engine/path_classes.h"
#include "inspect/run_keys.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "scan/file_scan.h"

namespace {
constexpr std::size_t kValueNameChars = 256;
constexpr std::size_t kValueDataBytes = 1024;
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;

void ScanRunKey(const AutostartLocation& location) {
  std::vector<platform::RegistryValue> values;
  // A value too large for the buffers ends the list there.
  if (!platform::ReadRegistryValues(location.hive, location.key, kValueNameChars, kValueDataBytes, values)) {
    AppendActivity(std::wstring(L"[REGISTRY] Could not open ") + location.label + L"\\" + location.key);
    return;
  }
  for (const auto& value : values) {
    const bool text = value.type == kRegSz || value.type == kRegExpandSz;
    const std::wstring path = ExtractExecutablePath(text ? RegistryDataText(value.data) : std::wstring());
    AppendActivity(std::wstring(L"[REGISTRY] ") + location.label + L" Run '" + value.name + L"' -> " + path);
    // The path is tested as written; errors outside "not found" end the whole step.
    if (!path.empty() && platform::PathExists(path) && !IsSystemLocation(path)) ScanFileStep(path);
  }
}
}  // namespace

void ScanRunKeys() {
  for (const auto& location : AutostartLocations()) ScanRunKey(location);
}
