#include "platform/folder_changes.h"

#include <filesystem>

#include "platform/standin/machine.h"

namespace standin {

void QueueFolderChanges(const std::wstring& windows_folder,
                        const std::vector<std::pair<uint32_t, std::wstring>>& records) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().change_waits[windows_folder].push_back({false, false, records});
}

void QueueFailedChangeWait(const std::wstring& windows_folder) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().change_waits[windows_folder].push_back({true, false, {}});
}

void QueueFolderGone(const std::wstring& windows_folder) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().change_waits[windows_folder].push_back({false, true, {}});
}

std::size_t LastChangeBufferBytes() {
  std::lock_guard<std::mutex> hold(MachineLock());
  return TheMachine().last_change_buffer_bytes;
}

}  // namespace standin

namespace platform {

namespace {
void Put32(std::vector<unsigned char>& out, std::size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

// The records as the platform lays them out: DWORD-aligned entries, each linked to
// the next by its offset, the last with offset 0.
std::vector<unsigned char> Encode(const std::vector<std::pair<uint32_t, std::wstring>>& records) {
  std::vector<unsigned char> out;
  std::size_t previous = 0;
  for (std::size_t i = 0; i < records.size(); ++i) {
    const auto& [action, name] = records[i];
    const std::size_t at = out.size();
    if (i > 0) Put32(out, previous, static_cast<uint32_t>(at - previous));
    const std::size_t size = (12 + 2 * name.size() + 3) & ~std::size_t{3};
    out.resize(at + size, 0);
    Put32(out, at + 4, action);
    Put32(out, at + 8, static_cast<uint32_t>(2 * name.size()));
    for (std::size_t c = 0; c < name.size(); ++c) {
      out[at + 12 + 2 * c] = static_cast<unsigned char>(name[c] & 0xFF);
      out[at + 13 + 2 * c] = static_cast<unsigned char>((name[c] >> 8) & 0xFF);
    }
    previous = at;
  }
  return out;
}
}  // namespace

WatchEnd WatchFolderChanges(const std::wstring& folder, std::size_t buffer_bytes,
                            const std::function<bool(const FolderChangeBatch& batch)>& visit) {
  const std::string host = standin::HostPath(folder);
  std::error_code error;
  if (host.empty() || !std::filesystem::is_directory(host, error)) return WatchEnd::CannotOpen;
  for (;;) {
    standin::Machine::ChangeWait wait;
    {
      std::lock_guard<std::mutex> hold(standin::MachineLock());
      auto& machine = standin::TheMachine();
      machine.last_change_buffer_bytes = buffer_bytes;
      auto& waits = machine.change_waits[folder];
      if (waits.empty()) return WatchEnd::Stopped;  // the test has nothing more to say
      wait = waits.front();
      waits.erase(waits.begin());
    }
    if (wait.folder_gone) return WatchEnd::FolderGone;
    FolderChangeBatch batch;
    batch.ok = !wait.fails;
    const std::vector<unsigned char> bytes = Encode(wait.records);
    if (batch.ok && bytes.size() <= buffer_bytes) batch.records = DecodeChangeRecords(bytes.data(), bytes.size());
    if (!visit(batch)) return WatchEnd::Stopped;
  }
}

}  // namespace platform
