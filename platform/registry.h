#pragma once
// Registry values, read and deleted; every key is opened and closed inside one call.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

enum class RegistryHive { CurrentUser, LocalMachine };

struct RegistryValue {
  std::wstring name;
  uint32_t type = 0;        // REG_SZ = 1, REG_EXPAND_SZ = 2, REG_BINARY = 3, REG_DWORD = 4, ...
  std::string data;         // the whole data; empty when too_large
  bool too_large = false;   // the data is over the read's limit and was not read
};

// Opens the key for reading and reads its values by index from 0, each whole: the
// full name (the registry allows 16,383 characters) and the data, whose size is asked
// first (and again when it grew before the read). A value whose data is over
// max_data_bytes comes with its name and type, no data and too_large set, and the
// values after it are still read. The list ends after the last value, or early at a
// read that fails otherwise (the key deleted meanwhile). False when the key cannot be
// opened.
bool ReadRegistryValues(RegistryHive hive, const std::wstring& key, std::size_t max_data_bytes,
                        std::vector<RegistryValue>& values);

// Opens the key with set-value access and deletes the named value; false when either fails.
bool DeleteRegistryValue(RegistryHive hive, const std::wstring& key, const std::wstring& name);

// Opens (creating when missing) the key with set-value access and writes a REG_SZ value.
bool WriteRegistryString(RegistryHive hive, const std::wstring& key, const std::wstring& name,
                         const std::wstring& value);

}  // namespace platform
