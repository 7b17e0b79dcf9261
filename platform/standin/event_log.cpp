#include "platform/event_log.h"

#include "platform/standin/machine.h"

namespace standin {

void SetNewestEvent(const std::wstring& log_name, uint32_t event_id) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().newest_events[log_name] = event_id;
}

}  // namespace standin

namespace platform {

bool NewestEventId(const std::wstring& log_name, uint32_t& event_id) {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  const auto& events = standin::TheMachine().newest_events;
  const auto found = events.find(log_name);
  if (found == events.end()) return false;
  event_id = found->second;
  return true;
}

}  // namespace platform
