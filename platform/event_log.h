#pragma once
// The Windows event logs of the local machine.
#include <cstdint>
#include <string>

namespace platform {

// The event identifier of the named log's newest record: one backwards sequential
// read (EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ) into 8,192 bytes. False
// when the log cannot be opened (no rights) or read, or less than one record
// header (56 bytes) came back.
bool NewestEventId(const std::wstring& log_name, uint32_t& event_id);

}  // namespace platform
