#include <cstring>

#include "platform/folder_changes.h"

namespace platform {

namespace {
constexpr std::size_t kRecordHeaderBytes = 12;  // next-entry offset, action, name length

uint32_t Read32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
}  // namespace

std::vector<FolderChange> DecodeChangeRecords(const unsigned char* bytes, std::size_t length) {
  std::vector<FolderChange> records;
  std::size_t at = 0;
  while (bytes != nullptr && at <= length && length - at >= kRecordHeaderBytes) {
    const unsigned char* record = bytes + at;
    const uint32_t next = Read32(record);
    const uint32_t name_bytes = Read32(record + 8);
    if (name_bytes > length - at - kRecordHeaderBytes) break;
    FolderChange change;
    change.action = Read32(record + 4);
    const unsigned char* name = record + kRecordHeaderBytes;
    for (uint32_t i = 0; i + 1 < name_bytes; i += 2) {
      change.name.push_back(static_cast<wchar_t>(name[i] | (name[i + 1] << 8)));
    }
    records.push_back(std::move(change));
    if (next == 0) break;
    at += next;
  }
  return records;
}

}  // namespace platform
