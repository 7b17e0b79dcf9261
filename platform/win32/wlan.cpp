#include "platform/wlan.h"

#include <windows.h>
#include <objbase.h>
#include <wlanapi.h>

#include <iterator>
#include <memory>
#include <string>
#include <type_traits>

namespace platform {

namespace {
constexpr DWORD kClientVersion = 2;  // Vista and later

struct WlanClientCloser {
  void operator()(HANDLE client) const { WlanCloseHandle(client, nullptr); }
};
using UniqueWlanClient = std::unique_ptr<std::remove_pointer_t<HANDLE>, WlanClientCloser>;

// Lists and query results are allocated by the WLAN service and freed through it.
struct WlanMemoryFreer {
  void operator()(void* memory) const { WlanFreeMemory(memory); }
};
template <typename T>
using UniqueWlanMemory = std::unique_ptr<T, WlanMemoryFreer>;

UniqueWlanClient OpenClient() {
  DWORD negotiated = 0;
  HANDLE client = nullptr;
  if (WlanOpenHandle(kClientVersion, nullptr, &negotiated, &client) != ERROR_SUCCESS) return nullptr;
  return UniqueWlanClient(client);
}

std::wstring GuidText(const GUID& guid) {
  wchar_t text[40];  // "{8-4-4-4-12}" and the terminator
  const int written = StringFromGUID2(guid, text, 40);
  return written > 0 ? std::wstring(text, written - 1) : std::wstring();
}

// The profile of the interface's current connection; false when it cannot be read.
bool ReadProfile(HANDLE client, const GUID& interface_guid, std::wstring& profile) {
  DWORD size = 0;
  void* data = nullptr;
  if (WlanQueryInterface(client, &interface_guid, wlan_intf_opcode_current_connection, nullptr, &size, &data,
                         nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const UniqueWlanMemory<void> owned(data);
  if (!data || size < sizeof(WLAN_CONNECTION_ATTRIBUTES)) return false;
  const auto* connection = static_cast<const WLAN_CONNECTION_ATTRIBUTES*>(data);
  // The name fills a fixed array; stop at its end should the terminator be missing.
  const std::size_t max = std::size(connection->strProfileName);
  std::size_t length = 0;
  while (length < max && connection->strProfileName[length] != L'\0') ++length;
  profile.assign(connection->strProfileName, length);
  return true;
}
}  // namespace

bool WlanDisconnectFirstConnected(std::wstring& profile, std::wstring& interface_guid) {
  profile.clear();
  interface_guid.clear();
  const UniqueWlanClient client = OpenClient();
  if (!client) return false;
  WLAN_INTERFACE_INFO_LIST* raw_list = nullptr;
  if (WlanEnumInterfaces(client.get(), nullptr, &raw_list) != ERROR_SUCCESS) return true;
  const UniqueWlanMemory<WLAN_INTERFACE_INFO_LIST> list(raw_list);
  if (!list) return true;
  for (DWORD i = 0; i < list->dwNumberOfItems; ++i) {
    const WLAN_INTERFACE_INFO& info = list->InterfaceInfo[i];
    if (info.isState != wlan_interface_state_connected) continue;
    // Without the profile there is nothing to reconnect with later, so neither is given.
    if (ReadProfile(client.get(), info.InterfaceGuid, profile)) interface_guid = GuidText(info.InterfaceGuid);
    WlanDisconnect(client.get(), &info.InterfaceGuid, nullptr);
    break;
  }
  return true;
}

bool WlanOpenAndClose() { return static_cast<bool>(OpenClient()); }

}  // namespace platform
