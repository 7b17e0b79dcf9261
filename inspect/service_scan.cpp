#include "inspect/service_scan.h"

#include <stdexcept>
#include <string>

#include "app/activity_log.h"
#include "app/runtime_state.h"
#include "app/text_file.h"
#include "app/wide.h"
#include "engine/path_classes.h"
#include "inspect/run_keys.h"
#include "inspect/services.h"
#include "platform/files.h"
#include "platform/services.h"
#include "scan/file_scan.h"

namespace {
constexpr wchar_t kTaskStore[] = L"C:\\Windows\\System32\\Tasks";
constexpr uint32_t kAccessDenied = 5;

// The tests in their order; the existence test last, and its errors outside "not
// found" end the step.
bool IsUserWritableProgram(const std::wstring& path) {
  return !path.empty() && IsUserWritableLocation(path) && platform::PathExists(path);
}

void ScanTaskFile(const std::wstring& file) {
  std::string definition;
  bool cut = false;
  // A task definition is a few KiB; its command comes early. A planted giant file costs 1 MiB at most.
  if (!ReadTextFilePrefix(file, 1u << 20, definition, cut)) return;
  const std::wstring path = ExtractExecutablePath(FirstTaskCommand(definition));
  if (!IsUserWritableProgram(path)) return;
  AppendActivity(L"[ADMIN] Scheduled task command in user path: " + path);
  ScanFileStep(path);
}

// Every file below the folder, at any depth; folders that refuse access are passed over.
void WalkTaskFolder(const std::wstring& folder, bool is_root) {
  const uint32_t error = platform::VisitFolder(folder, [&](const platform::FolderEntry& entry) {
    if (!AppRunning.load()) return false;
    const std::wstring path = folder + L"\\" + entry.name;
    if (entry.is_reparse_point) return true;  // links are not read
    if (entry.is_directory) {
      WalkTaskFolder(path, false);
    } else {
      ScanTaskFile(path);
    }
    return AppRunning.load();
  });
  if (error == 0 || (!is_root && error == kAccessDenied)) return;
  throw std::runtime_error("task folder walk failed with error " + std::to_string(error));
}
}  // namespace

std::wstring FirstTaskCommand(std::string_view definition) {
  constexpr std::string_view kOpen = "<Command>";
  constexpr std::string_view kClose = "</Command>";
  const std::size_t open = definition.find(kOpen);
  if (open == std::string_view::npos) return L"";
  const std::size_t start = open + kOpen.size();
  const std::size_t close = definition.find(kClose, start);
  if (close == std::string_view::npos) return L"";
  return WidenSignedBytes(definition.substr(start, close - start));
}

void ScanServiceImages() {
  ForEachServiceImage(platform::kServiceQueryConfig,
                      [](const std::wstring& name, const std::wstring& image_path, const std::function<bool()>&) {
                        const std::wstring path = ExtractExecutablePath(image_path);
                        if (!IsUserWritableProgram(path)) return;
                        AppendActivity(L"[SERVICE] User-writable service image: " + name + L" -> " + path);
                        ScanFileStep(path);
                      });
}

void ScanTaskCommands() {
  if (!platform::PathExists(kTaskStore)) return;
  WalkTaskFolder(kTaskStore, true);
}
