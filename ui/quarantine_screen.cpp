#include "ui/quarantine_screen.h"

#include <imgui.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/guarded_step.h"
#include "app/wide.h"
#include "platform/dialogs.h"
#include "response/quarantine_list.h"

bool QuarantineScreenOpen = false;

namespace {
std::mutex g_lock;  // guards the four values below; held only to copy or swap them
using EntryList = std::shared_ptr<const std::vector<QuarantineEntry>>;
EntryList g_entries;  // swapped whole, so that a frame copies a pointer, not the list
bool g_listed = false;  // g_entries holds a finished reading of the folder
std::wstring g_status;
uint64_t g_shown_reading = 0;           // the number of the reading g_entries came from
std::atomic<uint64_t> g_readings{0};    // readings started so far
std::atomic<int> g_running{0};          // steps of this screen not finished yet
std::atomic<bool> g_file_work{false};   // a restore or delete is under way (one at a time)

// Counts a step as running from its start to its end, faults included.
class Running {
 public:
  Running() = default;
  Running(const Running&) = delete;
  Running& operator=(const Running&) = delete;
  ~Running() { g_running.fetch_sub(1); }
};

void SetStatus(const std::wstring& text) {
  std::lock_guard<std::mutex> hold(g_lock);
  g_status = text;
}

// Reads the folder and shows what it holds, unless a reading started later has shown
// its own already (the screen was opened again, or a restore ended meanwhile).
void ReadFolder() {
  const uint64_t reading = g_readings.fetch_add(1) + 1;
  std::vector<QuarantineEntry> entries;
  const bool listed = ListQuarantine(entries);
  std::lock_guard<std::mutex> hold(g_lock);
  if (reading < g_shown_reading) return;
  g_shown_reading = reading;
  g_entries = std::make_shared<const std::vector<QuarantineEntry>>(std::move(entries));
  g_listed = true;
  if (!listed) g_status = L"The quarantine folder cannot be read.";
}

// Starts a step of the screen on its own thread; false, with the step's fault line,
// when no thread can be had.
bool StartStep(const wchar_t* name, std::function<void()> body) {
  g_running.fetch_add(1);
  const bool started = StartOneShot(name, [body = std::move(body)] {
    const Running running;
    body();
  });
  if (!started) g_running.fetch_sub(1);
  return started;
}

// A restore or a delete: one at a time, and the list read again when it is done.
void StartFileWork(const wchar_t* name, std::function<void()> work) {
  if (g_file_work.exchange(true)) return;
  SetStatus(L"Working...");
  const bool started = StartStep(name, [name, work = std::move(work)] {
    struct Done {
      ~Done() { g_file_work.store(false); }
    } done;
    // A fault is the step's line in the activity list; the list is read again all the same.
    if (!RunGuarded(name, work)) SetStatus(L"That did not work; see the activity list.");
    ReadFolder();
  });
  if (!started) {
    g_file_work.store(false);
    SetStatus(L"Could not start; see the activity list.");
  }
}

void RestoreEntry(const QuarantineEntry& entry) {
  StartFileWork(L"quarantine-restore", [entry] {
    std::wstring restored;
    if (RestoreFromQuarantine(entry.stored_path, restored)) {
      SetStatus(L"Restored " + entry.name + L" to " + restored + L" and trusted it.");
    } else {
      SetStatus(L"Could not restore " + entry.name + L"; see the activity list.");
    }
  });
}

void DeleteEntry(const QuarantineEntry& entry) {
  StartFileWork(L"quarantine-delete", [entry] {
    // The question blocks the thread that asks it, so it is asked here, never on the
    // GUI thread, as the batch question is.
    const std::wstring question = L"Delete " + entry.name + L" from quarantine for good?\n\nFrom: " +
                                  (entry.original.empty() ? std::wstring(L"unknown") : entry.original) +
                                  L"\n\nIt cannot be restored afterwards.";
    if (!platform::AskYesNoTopmost(question, L"Kestrune \u2014 Delete from quarantine?")) {
      SetStatus(L"Kept " + entry.name + L" in quarantine.");
      return;
    }
    if (DeleteFromQuarantine(entry.stored_path)) {
      SetStatus(L"Deleted " + entry.name + L".");
    } else {
      SetStatus(L"Could not delete " + entry.name + L"; see the activity list.");
    }
  });
}

// Names and paths as the screen shows them: UTF-8, control characters as blanks, so
// that no stored name can draw lines of its own.
std::string Shown(const std::wstring& text) {
  std::wstring clean = text;
  for (wchar_t& c : clean) {
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) c = L' ';
  }
  return ToUtf8(clean);
}

void DrawEntry(const QuarantineEntry& entry, int row, bool idle) {
  const std::string id = "##" + std::to_string(row);
  const std::string name = Shown(entry.name);
  ImGui::TextUnformatted(entry.is_folder ? (name + "  (folder)").c_str() : name.c_str());
  const std::string origin = entry.original.empty() ? "unknown" : Shown(entry.original);
  ImGui::TextDisabled("From  %s", origin.c_str());
  if (entry.isolated_time == 0) {
    ImGui::TextDisabled("Isolated  unknown");
  } else {
    const std::string reason = entry.reason.empty() ? "reason unknown" : Shown(entry.reason);
    ImGui::TextDisabled("Isolated  %s  (%s)", UtcTimeText(entry.isolated_time).c_str(), reason.c_str());
  }
  ImGui::BeginDisabled(!idle || !CanRestore(entry));
  if (ImGui::Button(("Restore" + id).c_str(), ImVec2(140, 36))) RestoreEntry(entry);
  ImGui::EndDisabled();
  ImGui::SameLine();
  // A folder is put back or removed by hand: the verified operations act on files.
  ImGui::BeginDisabled(!idle || entry.is_folder);
  if (ImGui::Button(("Delete" + id).c_str(), ImVec2(140, 36))) DeleteEntry(entry);
  ImGui::EndDisabled();
  ImGui::Separator();
}

void DrawEntries(const EntryList& list, bool listed, bool idle) {
  if (!listed) {
    ImGui::TextDisabled("Reading the quarantine folder...");
    return;
  }
  if (!list || list->empty()) {
    ImGui::TextDisabled("Nothing is in quarantine.");
    return;
  }
  const std::vector<QuarantineEntry>& entries = *list;
  // Every row has the same height, so that only the rows in view are drawn however
  // many files the folder holds.
  ImGuiListClipper clipper;
  clipper.Begin(static_cast<int>(entries.size()));
  while (clipper.Step()) {
    for (int row = clipper.DisplayStart; row < clipper.DisplayEnd; ++row) DrawEntry(entries[row], row, idle);
  }
}
}  // namespace

void OpenQuarantineScreen() {
  QuarantineScreenOpen = true;
  {
    std::lock_guard<std::mutex> hold(g_lock);
    g_entries.reset();
    g_listed = false;
    g_status.clear();
  }
  if (!StartStep(L"quarantine-list", ReadFolder)) {
    std::lock_guard<std::mutex> hold(g_lock);
    g_listed = true;
    g_status = L"The quarantine folder cannot be read now.";
  }
}

std::wstring QuarantineScreenStatus() {
  std::lock_guard<std::mutex> hold(g_lock);
  return g_status;
}

bool QuarantineScreenBusy() { return g_running.load() != 0; }

void DrawQuarantineScreen() {
  EntryList entries;
  bool listed = false;
  std::wstring status;
  {
    std::lock_guard<std::mutex> hold(g_lock);
    entries = g_entries;
    listed = g_listed;
    status = g_status;
  }
  const bool idle = !g_file_work.load();
  const ImVec2 size = ImGui::GetWindowSize();
  ImGui::SetCursorPos(ImVec2(0.14f * size.x, 0.14f * size.y));
  ImGui::BeginChild("quarantine", ImVec2(0.72f * size.x, 0.72f * size.y), true);
  ImGui::TextUnformatted("Quarantined");
  ImGui::Dummy(ImVec2(0, 8));
  ImGui::TextWrapped("Files isolated on this device, newest first. Restore puts a file back where it came from "
                     "and trusts it; Delete removes it for good.");
  ImGui::Dummy(ImVec2(0, 10));
  if (!status.empty()) ImGui::TextUnformatted(Shown(status).c_str());
  const float back_height = 36.0f;
  ImGui::BeginChild("entries", ImVec2(0, -(back_height + ImGui::GetStyle().ItemSpacing.y)), true);
  DrawEntries(entries, listed, idle);
  ImGui::EndChild();
  if (ImGui::Button("Back", ImVec2(-1, back_height))) QuarantineScreenOpen = false;
  ImGui::EndChild();
}

void ResetQuarantineScreenForTest() {
  QuarantineScreenOpen = false;
  std::lock_guard<std::mutex> hold(g_lock);
  g_entries.reset();
  g_listed = false;
  g_status.clear();
  g_shown_reading = 0;
  g_readings.store(0);
  g_running.store(0);
  g_file_work.store(false);
}
