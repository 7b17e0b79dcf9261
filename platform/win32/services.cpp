#include "platform/services.h"

#include <windows.h>

#include <string>
#include <vector>

#include "platform/win32/handles.h"

namespace platform {

namespace {
using win32::UniqueServiceHandle;

// Element counts that hold at least the given bytes, so that buffers keep the
// alignment of the structures the manager writes at their start.
template <typename T>
std::size_t ElementsFor(DWORD bytes) {
  return (bytes + sizeof(T) - 1) / sizeof(T);
}

// The services' entries, or none when the manager will not list them.
std::vector<ENUM_SERVICE_STATUS_PROCESSW> ListServices(SC_HANDLE manager, DWORD& count) {
  count = 0;
  DWORD needed = 0;
  DWORD returned = 0;
  if (EnumServicesStatusExW(manager, SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_STATE_ALL, nullptr, 0, &needed,
                            &returned, nullptr, nullptr) ||
      GetLastError() != ERROR_MORE_DATA || needed == 0) {
    return {};
  }
  std::vector<ENUM_SERVICE_STATUS_PROCESSW> entries(ElementsFor<ENUM_SERVICE_STATUS_PROCESSW>(needed));
  const DWORD size = static_cast<DWORD>(entries.size() * sizeof(ENUM_SERVICE_STATUS_PROCESSW));
  // A service installed in between makes the list longer than the room: the
  // entries that did fit are still whole and worth visiting.
  if (!EnumServicesStatusExW(manager, SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_STATE_ALL,
                             reinterpret_cast<LPBYTE>(entries.data()), size, &needed, &returned, nullptr, nullptr) &&
      GetLastError() != ERROR_MORE_DATA) {
    return {};
  }
  count = returned;
  return entries;
}

// The service's command line; empty when it has none or cannot be read.
std::wstring ImagePathOf(SC_HANDLE service) {
  DWORD needed = 0;
  QueryServiceConfigW(service, nullptr, 0, &needed);
  if (needed == 0) return L"";
  std::vector<QUERY_SERVICE_CONFIGW> config(ElementsFor<QUERY_SERVICE_CONFIGW>(needed));
  const DWORD size = static_cast<DWORD>(config.size() * sizeof(QUERY_SERVICE_CONFIGW));
  if (!QueryServiceConfigW(service, config.data(), size, &needed)) return L"";
  const wchar_t* path = config.front().lpBinaryPathName;
  return path ? std::wstring(path) : std::wstring();
}
}  // namespace

void VisitWin32Services(uint32_t access,
                        const std::function<void(const std::wstring& name, const std::wstring& image_path,
                                                 const std::function<bool()>& stop)>& visit) {
  const UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ENUMERATE_SERVICE));
  if (!manager) return;
  DWORD count = 0;
  const auto entries = ListServices(manager.get(), count);
  for (DWORD i = 0; i < count; ++i) {
    const wchar_t* key = entries[i].lpServiceName;
    if (!key) continue;
    const UniqueServiceHandle service(OpenServiceW(manager.get(), key, access));
    if (!service) continue;
    const std::wstring image_path = ImagePathOf(service.get());
    if (image_path.empty()) continue;
    const auto stop = [&service] {
      SERVICE_STATUS status{};
      return ControlService(service.get(), SERVICE_CONTROL_STOP, &status) != 0;
    };
    visit(key, image_path, stop);
  }
}

bool QueryServiceRunStates(const std::vector<std::wstring>& names, std::vector<ServiceRunState>& states) {
  states.clear();
  const UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ENUMERATE_SERVICE));
  if (!manager) return false;
  for (const std::wstring& name : names) {
    ServiceRunState state = ServiceRunState::Unknown;
    const UniqueServiceHandle service(OpenServiceW(manager.get(), name.c_str(), SERVICE_QUERY_STATUS));
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    if (service && QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&status),
                                        sizeof(status), &needed)) {
      state = status.dwCurrentState == SERVICE_RUNNING ? ServiceRunState::Running : ServiceRunState::NotRunning;
    }
    states.push_back(state);
  }
  return true;
}

}  // namespace platform
