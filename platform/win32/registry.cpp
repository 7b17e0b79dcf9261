#include "platform/registry.h"

#include <windows.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <type_traits>
#include <utility>

namespace platform {

namespace {
struct KeyCloser {
  void operator()(HKEY key) const { RegCloseKey(key); }
};
using UniqueKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

HKEY RootOf(RegistryHive hive) {
  return hive == RegistryHive::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

UniqueKey OpenKey(RegistryHive hive, const std::wstring& key, REGSAM access) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(RootOf(hive), key.c_str(), 0, access, &opened) != ERROR_SUCCESS) return nullptr;
  return UniqueKey(opened);
}

DWORD ToDword(std::size_t size) {
  return static_cast<DWORD>(std::min<std::size_t>(size, std::numeric_limits<DWORD>::max()));
}
}  // namespace

bool ReadRegistryValues(RegistryHive hive, const std::wstring& key, std::size_t name_chars,
                        std::size_t data_bytes, std::vector<RegistryValue>& values) {
  const auto opened = OpenKey(hive, key, KEY_READ);
  if (!opened) return false;
  // One spare element keeps both pointers non-null: a null data pointer would turn
  // a zero-byte buffer into a size query that "succeeds" without the data.
  std::wstring name(name_chars + 1, L'\0');
  std::string data(data_bytes + 1, '\0');
  std::vector<RegistryValue> read;
  for (DWORD index = 0;; ++index) {
    DWORD name_length = ToDword(name_chars);
    DWORD data_length = ToDword(data_bytes);
    DWORD type = 0;
    if (RegEnumValueW(opened.get(), index, name.data(), &name_length, nullptr, &type,
                      reinterpret_cast<BYTE*>(data.data()), &data_length) != ERROR_SUCCESS) {
      break;
    }
    read.push_back({name.substr(0, name_length), type, data.substr(0, data_length)});
  }
  values = std::move(read);
  return true;
}

bool DeleteRegistryValue(RegistryHive hive, const std::wstring& key, const std::wstring& name) {
  const auto opened = OpenKey(hive, key, KEY_SET_VALUE);
  return opened && RegDeleteValueW(opened.get(), name.c_str()) == ERROR_SUCCESS;
}

bool WriteRegistryString(RegistryHive hive, const std::wstring& key, const std::wstring& name,
                         const std::wstring& value) {
  const std::size_t bytes = (value.size() + 1) * sizeof(wchar_t);  // the terminator is part of REG_SZ data
  if (bytes > std::numeric_limits<DWORD>::max()) return false;
  HKEY created = nullptr;
  if (RegCreateKeyExW(RootOf(hive), key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                      &created, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const UniqueKey opened(created);
  return RegSetValueExW(opened.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>(bytes)) == ERROR_SUCCESS;
}

}  // namespace platform
