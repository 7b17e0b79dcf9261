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
  uint32_t type = 0;  // REG_SZ = 1, REG_EXPAND_SZ = 2, REG_BINARY = 3, REG_DWORD = 4, ...
  std::string data;   // the bytes the read returned
};

// Opens the key for reading and reads its values by index from 0 with a name buffer
// of name_chars characters (terminator included) and a data buffer of data_bytes;
// the first read that fails, a name or data too large for its buffer included, ends
// the list. False when the key cannot be opened.
bool ReadRegistryValues(RegistryHive hive, const std::wstring& key, std::size_t name_chars,
                        std::size_t data_bytes, std::vector<RegistryValue>& values);

// Opens the key with set-value access and deletes the named value; false when either fails.
bool DeleteRegistryValue(RegistryHive hive, const std::wstring& key, const std::wstring& name);

// Opens (creating when missing) the key with set-value access and writes a REG_SZ value.
bool WriteRegistryString(RegistryHive hive, const std::wstring& key, const std::wstring& name,
                         const std::wstring& value);

}  // namespace platform
