#include "inspect/service_scan.h"

#include <stdexcept>
#include <string>

#include "app/activity_log.h"
#include "app/runtime_state.h"
#include "engine/path_classes.h"
#include "inspect/existence.h"
#include "inspect/run_keys.h"
#include "inspect/services.h"
#include "inspect/task_definition.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/services.h"
#include "scan/file_scan.h"

namespace {
constexpr wchar_t kTaskStore[] = L"C:\\Windows\\System32\\Tasks";
// A task definition is a few KiB and names its command early; a planted giant file
// costs this much at most.
constexpr std::size_t kTaskFileBytes = 1u << 20;

// The file's first bytes, at most kTaskFileBytes; false when it cannot be opened or read.
bool ReadTaskFileHead(const std::wstring& file, std::string& bytes) {
  bytes.clear();
  return platform::ReadFileInChunks(file, 65536, [&](std::string_view chunk) {
    bytes.append(chunk.substr(0, kTaskFileBytes - bytes.size()));
    return bytes.size() < kTaskFileBytes;
  });
}

void ScanTaskFile(const std::wstring& file) {
  std::string definition;
  if (!ReadTaskFileHead(file, definition)) {
    AppendActivity(L"[ADMIN] Scheduled task could not be checked: " + file + L" (it cannot be read)");
    return;
  }
  // The scheduler expands environment strings when it starts the program.
  const std::wstring path = platform::ExpandEnvironmentText(FirstTaskCommand(definition));
  if (path.empty() || !IsUserWritableLocation(path)) return;
  const Existence program = TestExistence(path);
  if (!program.known) {
    AppendActivity(L"[ADMIN] Scheduled task could not be checked: " + file + L" -> " + path + L" (" +
                   program.failure + L")");
    return;
  }
  if (!program.exists) return;
  AppendActivity(L"[ADMIN] Scheduled task command in user path: " + path);
  ScanFileStep(path);
}

// Every file below the folder, at any depth. A sub-folder that cannot be listed (it
// refuses access, or went away meanwhile) is logged and the walk goes on; only the
// task folder itself failing ends the step.
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
  if (error == 0) return;
  if (is_root) throw std::runtime_error("task folder walk failed with error " + std::to_string(error));
  AppendActivity(L"[ADMIN] Scheduled task folder could not be checked: " + folder + L" (file system error " +
                 std::to_wstring(error) + L")");
}
}  // namespace

void ScanServiceImages() {
  ForEachServiceImage(platform::kServiceQueryConfig,
                      [](const std::wstring& name, const std::wstring& image_path, const std::function<bool()>&) {
                        const std::wstring path = ExtractExecutablePath(image_path);
                        if (path.empty() || !IsUserWritableLocation(path)) return;
                        const Existence program = TestExistence(path);
                        if (!program.known) {
                          AppendActivity(L"[SERVICE] Service image could not be checked: " + name + L" -> " + path +
                                         L" (" + program.failure + L")");
                          return;
                        }
                        if (!program.exists) return;
                        AppendActivity(L"[SERVICE] User-writable service image: " + name + L" -> " + path);
                        ScanFileStep(path);
                      });
}

void ScanTaskCommands() {
  if (!platform::PathExists(kTaskStore)) return;
  WalkTaskFolder(kTaskStore, true);
}
