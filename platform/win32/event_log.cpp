#include "platform/event_log.h"

#include <windows.h>

#include <memory>
#include <type_traits>

namespace platform {

namespace {
struct EventLogCloser {
  void operator()(HANDLE log) const { CloseEventLog(log); }
};
using UniqueEventLog = std::unique_ptr<std::remove_pointer_t<HANDLE>, EventLogCloser>;
}  // namespace

bool NewestEventId(const std::wstring& log_name, uint32_t& event_id) {
  const UniqueEventLog log(OpenEventLogW(nullptr, log_name.c_str()));
  if (!log) return false;
  alignas(EVENTLOGRECORD) unsigned char buffer[8192];
  DWORD read = 0;
  DWORD needed = 0;
  if (!ReadEventLogW(log.get(), EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ, 0, buffer, sizeof(buffer), &read,
                     &needed) ||
      read < sizeof(EVENTLOGRECORD)) {
    return false;
  }
  event_id = reinterpret_cast<const EVENTLOGRECORD*>(buffer)->EventID;
  return true;
}

}  // namespace platform
