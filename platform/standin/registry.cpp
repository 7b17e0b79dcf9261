#include "platform/registry.h"

#include <cwctype>

#include "platform/standin/machine.h"

// An in-memory registry that keeps values in enumeration order. Values are read whole,
// as the Win32 layer reads them: any name, and data up to the caller's limit; a value
// over the limit comes without its data and the list goes on.
namespace {
using Key = std::pair<int, std::wstring>;

std::wstring Folded(const std::wstring& text) {
  std::wstring out = text;
  for (wchar_t& c : out) c = static_cast<wchar_t>(std::towlower(c));
  return out;
}

Key KeyOf(platform::RegistryHive hive, const std::wstring& key) { return {static_cast<int>(hive), Folded(key)}; }

bool HiveWritable(platform::RegistryHive hive) {
  return standin::TheMachine().read_only_hives.count(static_cast<int>(hive)) == 0;
}

std::string BytesOfString(const std::wstring& text) {
  std::string bytes;
  for (wchar_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>((c >> 8) & 0xFF));
  }
  bytes.append(2, '\0');
  return bytes;
}

void PutValue(standin::Machine::RegistryKey& key, platform::RegistryValue value) {
  for (auto& existing : key.values) {
    if (Folded(existing.name) == Folded(value.name)) {
      existing = std::move(value);
      return;
    }
  }
  key.values.push_back(std::move(value));
}
}  // namespace

namespace platform {

bool ReadRegistryValues(RegistryHive hive, const std::wstring& key, std::size_t max_data_bytes,
                        std::vector<RegistryValue>& values) {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  const auto& registry = standin::TheMachine().registry;
  const auto found = registry.find(KeyOf(hive, key));
  if (found == registry.end()) return false;
  values.clear();
  for (const auto& value : found->second.values) {
    if (value.data.size() > max_data_bytes) {
      values.push_back({value.name, value.type, "", true});
    } else {
      values.push_back(value);
    }
  }
  return true;
}

bool DeleteRegistryValue(RegistryHive hive, const std::wstring& key, const std::wstring& name) {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  auto& registry = standin::TheMachine().registry;
  const auto found = registry.find(KeyOf(hive, key));
  if (found == registry.end() || !HiveWritable(hive)) return false;
  auto& values = found->second.values;
  for (auto it = values.begin(); it != values.end(); ++it) {
    if (Folded(it->name) == Folded(name)) {
      values.erase(it);
      return true;
    }
  }
  return false;
}

bool WriteRegistryString(RegistryHive hive, const std::wstring& key, const std::wstring& name,
                         const std::wstring& value) {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  if (!HiveWritable(hive)) return false;
  PutValue(standin::TheMachine().registry[KeyOf(hive, key)], {name, 1, BytesOfString(value)});
  return true;
}

}  // namespace platform

namespace standin {

void SetRegistryValue(platform::RegistryHive hive, const std::wstring& key, const std::wstring& name, uint32_t type,
                      const std::string& data) {
  std::lock_guard<std::mutex> hold(MachineLock());
  PutValue(TheMachine().registry[KeyOf(hive, key)], {name, type, data});
}

void SetRegistryString(platform::RegistryHive hive, const std::wstring& key, const std::wstring& name,
                       const std::wstring& text) {
  SetRegistryValue(hive, key, name, 1, BytesOfString(text));
}

std::vector<std::wstring> RegistryValueNames(platform::RegistryHive hive, const std::wstring& key) {
  std::lock_guard<std::mutex> hold(MachineLock());
  std::vector<std::wstring> names;
  const auto found = TheMachine().registry.find(KeyOf(hive, key));
  if (found != TheMachine().registry.end()) {
    for (const auto& value : found->second.values) names.push_back(value.name);
  }
  return names;
}

void SetHiveReadOnly(platform::RegistryHive hive, bool read_only) {
  std::lock_guard<std::mutex> hold(MachineLock());
  if (read_only) {
    TheMachine().read_only_hives.insert(static_cast<int>(hive));
  } else {
    TheMachine().read_only_hives.erase(static_cast<int>(hive));
  }
}

}  // namespace standin
