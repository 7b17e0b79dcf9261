// The native part of the benchmark: the stand-in machine with the corpus as drive
// D:, a first scan of the tree through the ordinary walk and file scan (judgement,
// scan index, first snapshots), then a rescan of the unchanged tree, which the scan
// index should make nearly free.
#include <imgui_internal.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "app/data_dir.h"
#include "app/run_counters.h"
#include "app/scan_state.h"
#include "app/runtime_state.h"
#include "platform/standin/control.h"
#include "scan/folder_walk.h"

// The stand-in build of Dear ImGui reports items to a test driver; nothing here draws.
void ImGuiTestEngineHook_ItemAdd(ImGuiContext*, const ImRect&, ImGuiID) {}
void ImGuiTestEngineHook_ItemInfo(ImGuiContext*, ImGuiID, const char*, ImGuiItemStatusFlags) {}
void ImGuiTestEngineHook_Log(ImGuiContext*, const char*, ...) {}
const char* ImGuiTestEngine_FindItemDebugLabel(ImGuiContext*, ImGuiID) { return nullptr; }

namespace {
double SecondsOf(void (*work)(const std::wstring&), const std::wstring& root) {
  const auto start = std::chrono::steady_clock::now();
  work(root);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kav_native_bench CORPUS_FOLDER\n");
    return 2;
  }
  // The program's own data (activity log, snapshots) on a C: drive of its own.
  const std::filesystem::path data_drive = std::filesystem::temp_directory_path() / "kav-native-bench";
  std::filesystem::remove_all(data_drive);
  std::filesystem::create_directories(data_drive);
  standin::Reset();
  standin::MapDrive(L'C', data_drive.string());
  standin::MapDrive(L'D', std::filesystem::absolute(argv[1]).string());
  standin::SetEnvironment(L"ProgramData", L"C:\\ProgramData");
  InitPaths();
  AppRunning.store(true);

  const auto walk = [](const std::wstring& root) { ScanFolderTree(root, nullptr); };
  const double first = SecondsOf(walk, L"D:\\");
  const uint64_t scanned = RunCounters.scanned.load();
  const double again = SecondsOf(walk, L"D:\\");
  const uint64_t skipped = RunCounters.skipped_unchanged.load();
  std::printf("first-scan %llu %.3f\n", static_cast<unsigned long long>(scanned), first);
  std::printf("rescan %llu %.3f\n", static_cast<unsigned long long>(skipped), again);
  std::filesystem::remove_all(data_drive);
  return 0;
}
