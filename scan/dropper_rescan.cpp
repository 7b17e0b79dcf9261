#include "scan/dropper_rescan.h"

#include <stdexcept>

#include "app/data_dir.h"
#include "app/guarded_step.h"
#include "app/runtime_state.h"
#include "platform/files.h"
#include "scan/file_scan.h"

namespace {
thread_local int g_rescan_depth = 0;

struct DepthHold {
  DepthHold() { ++g_rescan_depth; }
  ~DepthHold() { --g_rescan_depth; }
};
}  // namespace

void RescanDropperFolder(const std::wstring& file_path) {
  const std::size_t cut = file_path.find_last_of(L"\\/");
  if (cut == std::wstring::npos) return;
  const std::wstring folder = file_path.substr(0, cut);
  platform::FileInfo info;
  if (!platform::QueryFileInfo(folder.size() == 2 ? folder + L"\\" : folder, info) || !info.is_directory) return;

  int count = 0;
  const uint32_t error = platform::VisitFolder(folder, [&](const platform::FolderEntry& entry) {
    if (!AppRunning.load() || count >= kDropperRescanFiles) return false;
    if (entry.is_directory || entry.is_reparse_point) return true;
    const std::wstring path = folder + L"\\" + entry.name;
    if (path == file_path) return true;
    if (!QuarantineDir.empty() && path.compare(0, QuarantineDir.size(), QuarantineDir) == 0) return true;
    ++count;
    ScanFileStep(path);
    return true;
  });
  if (error != 0) throw std::runtime_error("directory_iterator::operator++: error " + std::to_string(error));
}

bool RescanDropperFolderOnce(const std::wstring& file_path) {
  if (g_rescan_depth >= 1) return false;
  const DepthHold hold;
  RunGuarded(L"dropper-rescan", [&file_path] { RescanDropperFolder(file_path); });
  return true;
}
