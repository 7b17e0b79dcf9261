#pragma once
// Win32 services through the service control manager.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform {

constexpr uint32_t kServiceQueryConfig = 0x0001;
constexpr uint32_t kServiceStop = 0x0020;

// Visits every Win32 service (own and shared process, running or stopped) that has
// an image path, in the order the manager lists them, each opened with the given
// access: its key name, its image path (command line) and a stop action on the open
// service (true when the stop control succeeded). The manager and every service are
// closed inside the call. Nothing is visited when the manager or the list cannot be had.
void VisitWin32Services(
    uint32_t access,
    const std::function<void(const std::wstring& name, const std::wstring& image_path,
                             const std::function<bool()>& stop)>& visit);

// What the manager says of one service's process status.
enum class ServiceRunState { Unknown, Running, NotRunning };  // Unknown: not installed, no rights, no answer

// The run state of each named service, in order (each opened with SERVICE_QUERY_STATUS
// and asked with QueryServiceStatusEx); false, with no states, when the manager
// cannot be opened. The manager and every service are closed inside the call.
bool QueryServiceRunStates(const std::vector<std::wstring>& names, std::vector<ServiceRunState>& states);

}  // namespace platform
