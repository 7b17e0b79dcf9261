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

// A value name has at most 16,383 characters; one more holds the terminator.
constexpr std::size_t kNameBufferChars = 16384;
// How often a value that keeps growing between the size query and the read is asked again.
constexpr int kReadAttempts = 4;

// Reads the value at the index whole: its name, type and data size first, then the
// data into a buffer of that size. ERROR_SUCCESS with too_large set when the data is
// over the limit (or kept growing); otherwise the status of the failed call.
LONG ReadValueAt(HKEY key, DWORD index, std::size_t max_data_bytes, std::wstring& name, RegistryValue& value) {
  for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
    DWORD name_length = static_cast<DWORD>(name.size());
    DWORD type = 0;
    DWORD size = 0;
    // No data buffer: the call only tells the data's size.
    LONG status = RegEnumValueW(key, index, name.data(), &name_length, nullptr, &type, nullptr, &size);
    if (status != ERROR_SUCCESS) return status;
    value.name.assign(name.data(), name_length);
    value.type = type;
    value.data.clear();
    value.too_large = size > max_data_bytes;
    if (value.too_large || size == 0) return ERROR_SUCCESS;
    std::string data(size, '\0');
    name_length = static_cast<DWORD>(name.size());
    DWORD got = size;
    status = RegEnumValueW(key, index, name.data(), &name_length, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                           &got);
    if (status == ERROR_MORE_DATA) continue;  // it grew since its size was asked
    if (status != ERROR_SUCCESS) return status;
    // The second answer is taken whole: the index may name another value by now.
    value.name.assign(name.data(), name_length);
    value.type = type;
    value.data.assign(data.data(), std::min<DWORD>(got, size));
    return ERROR_SUCCESS;
  }
  value.data.clear();
  value.too_large = true;
  return ERROR_SUCCESS;
}
}  // namespace

bool ReadRegistryValues(RegistryHive hive, const std::wstring& key, std::size_t max_data_bytes,
                        std::vector<RegistryValue>& values) {
  const auto opened = OpenKey(hive, key, KEY_READ);
  if (!opened) return false;
  std::wstring name(kNameBufferChars, L'\0');
  std::vector<RegistryValue> read;
  for (DWORD index = 0;; ++index) {
    RegistryValue value;
    if (ReadValueAt(opened.get(), index, max_data_bytes, name, value) != ERROR_SUCCESS) break;
    read.push_back(std::move(value));
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
