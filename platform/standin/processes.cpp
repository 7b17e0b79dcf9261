#include "platform/processes.h"

#include <algorithm>

#include "platform/standin/machine.h"
#include "platform/tool_pipe_pump.h"

namespace standin {

void ReuseProcessIdAfterQuery(uint32_t pid, const std::wstring& new_image_path) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().reused_process_ids[pid] = new_image_path;
}

void AddProcess(uint32_t pid, const std::wstring& exe_name, const std::wstring& image_path) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().processes.push_back({pid, exe_name, image_path, true});
}

void SetOwnProcessId(uint32_t pid) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().own_pid = pid;
}

void SetProcessUnkillable(uint32_t pid) {
  std::lock_guard<std::mutex> hold(MachineLock());
  for (auto& process : TheMachine().processes) {
    if (process.pid == pid) process.killable = false;
  }
}

void SetProcessSnapshotWorks(bool works) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().process_snapshot_works = works;
}

std::vector<uint32_t> TerminatedProcesses() {
  std::lock_guard<std::mutex> hold(MachineLock());
  return TheMachine().terminated;
}

std::vector<std::wstring> ChildCommandLines() {
  std::lock_guard<std::mutex> hold(MachineLock());
  return TheMachine().child_commands;
}

void SetChildStartWorks(bool works) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().child_start_works = works;
}

std::vector<std::wstring> ShellOpens() {
  std::lock_guard<std::mutex> hold(MachineLock());
  return TheMachine().shell_opens;
}

std::vector<ProgramStart> ProgramStarts() {
  std::lock_guard<std::mutex> hold(MachineLock());
  return TheMachine().program_starts;
}

void FailStartOf(const std::wstring& command_line) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().failing_starts.insert(command_line);
}

std::vector<std::wstring> ShellExecutes() {
  std::lock_guard<std::mutex> hold(MachineLock());
  return TheMachine().shell_executes;
}

void SetShellExecuteWorks(bool works) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().shell_execute_works = works;
}

void SetDetachedStartError(uint32_t error_code) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().detached_start_error = error_code;
}

}  // namespace standin

namespace platform {

namespace {
standin::Machine::Process* FindProcess(uint32_t pid) {
  auto& processes = standin::TheMachine().processes;
  const auto found =
      std::find_if(processes.begin(), processes.end(), [pid](const auto& process) { return process.pid == pid; });
  return found == processes.end() ? nullptr : &*found;
}

bool StartChild(const std::wstring& command_line) {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  auto& machine = standin::TheMachine();
  if (!machine.child_start_works) return false;
  machine.child_commands.push_back(command_line);
  machine.journal.push_back("StartProcess " + standin::Narrow(command_line));
  return true;
}
}  // namespace

bool ListProcesses(std::vector<ProcessEntry>& processes) {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  const auto& machine = standin::TheMachine();
  if (!machine.process_snapshot_works) return false;
  processes.clear();
  for (const auto& process : machine.processes) processes.push_back({process.pid, process.exe_name});
  return true;
}

uint32_t CurrentProcessId() {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  return standin::TheMachine().own_pid;
}

bool ProcessImagePath(uint32_t pid, std::wstring& path) {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  auto& machine = standin::TheMachine();
  machine.queried_processes.push_back(pid);
  const auto* process = FindProcess(pid);
  if (process == nullptr || process->image_path.empty()) return false;
  path = process->image_path;
  const auto reused = machine.reused_process_ids.find(pid);
  if (reused != machine.reused_process_ids.end()) {
    // The process ended and its id went to another program right after this answer.
    for (auto& entry : machine.processes) {
      if (entry.pid == pid) entry.image_path = reused->second;
    }
    machine.reused_process_ids.erase(reused);
  }
  return true;
}

bool TerminateProcessById(uint32_t pid, uint32_t /*exit_code*/) {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  auto& machine = standin::TheMachine();
  const auto* process = FindProcess(pid);
  if (process == nullptr || !process->killable) return false;
  machine.terminated.push_back(pid);
  machine.processes.erase(std::remove_if(machine.processes.begin(), machine.processes.end(),
                                         [pid](const auto& p) { return p.pid == pid; }),
                          machine.processes.end());
  return true;
}

bool TerminateProcessWithImage(uint32_t pid, const std::wstring& image, uint32_t exit_code) {
  {
    std::lock_guard<std::mutex> hold(standin::MachineLock());
    const auto* process = FindProcess(pid);
    if (process == nullptr || standin::PathKeyOf(process->image_path) != standin::PathKeyOf(image)) return false;
  }
  return TerminateProcessById(pid, exit_code);
}

std::wstring SystemFolder() { return L"C:\\Windows\\System32"; }

bool RunHiddenAndWait(const std::wstring& command_line, uint32_t /*timeout_ms*/) {
  if (!StartChild(command_line)) return false;
  standin::RunNetshWlan(command_line);
  return true;
}

bool StartHidden(const std::wstring& command_line, const std::wstring& /*current_folder*/) {
  return StartChild(command_line);
}

namespace {
// A scripted tool's run as its pipe shows it: the reads in order, each taking
// kScriptedToolReadMs of the clock; the tool ends once they are written unless it
// never ends or keeps writing them; a child that keeps writing holds the pipe open.
struct ScriptedRun {
  standin::Machine::ToolScript script;
  std::size_t next = 0;      // the read being written
  std::size_t offset = 0;    // bytes of it already read
  bool tool_ended = false;
  uint64_t give_up_at = 0;   // a pump that never tests its limit still gets an end of data here

  bool WritesForever() const { return script.chatty && !script.reads.empty(); }
  void AfterARead() {
    if (next < script.reads.size()) return;
    if (script.child_writes || (!script.chatty && !script.never_ends)) tool_ended = true;
    if (WritesForever()) next = 0;
  }
};

uint64_t Clock() {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  return standin::TheMachine().now_ms;
}

void Advance(uint64_t ms) {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  standin::TheMachine().now_ms += ms;
}
}  // namespace

ToolRun RunToolCapturingOutput(const std::wstring& program, const std::wstring& command_line,
                               const std::wstring& /*current_folder*/, uint64_t timeout_ms,
                               const std::function<void()>& on_start,
                               const std::function<void(std::string_view bytes)>& on_output) {
  ToolRun run;
  ScriptedRun tool;
  {
    std::lock_guard<std::mutex> hold(standin::MachineLock());
    auto& machine = standin::TheMachine();
    if (!machine.tool_pipe_works) return run;
    run.pipe_made = true;
    machine.tool_timeouts.push_back(timeout_ms);
  }
  on_start();
  {
    std::lock_guard<std::mutex> hold(standin::MachineLock());
    auto& machine = standin::TheMachine();
    const auto found = machine.tools.find(program);
    if (!machine.child_start_works || found == machine.tools.end()) return run;
    machine.child_commands.push_back(command_line);
    tool.script = found->second;
  }
  run.started = true;
  tool.give_up_at = Clock() + timeout_ms + 24ull * 60 * 60 * 1000;
  tool.AfterARead();  // a tool with nothing to write ends at once

  ToolPipe pipe;
  pipe.peek = [&tool](uint32_t& available) {
    if (Clock() >= tool.give_up_at) return false;
    if (tool.next < tool.script.reads.size()) {
      available = static_cast<uint32_t>(tool.script.reads[tool.next].size() - tool.offset);
      return true;
    }
    available = 0;
    return !tool.tool_ended;
  };
  pipe.read = [&tool](char* buffer, uint32_t size) -> uint32_t {
    if (tool.next >= tool.script.reads.size()) return 0;
    const std::string& read = tool.script.reads[tool.next];
    const std::size_t count = std::min<std::size_t>(size, read.size() - tool.offset);
    read.copy(buffer, count, tool.offset);
    tool.offset += count;
    if (tool.offset == read.size()) {
      tool.offset = 0;
      ++tool.next;
      tool.AfterARead();
    }
    Advance(standin::kScriptedToolReadMs);
    return static_cast<uint32_t>(count);
  };
  pipe.wait_for_end = [&tool](uint32_t ms) {
    if (!tool.tool_ended) Advance(ms);
    return tool.tool_ended;
  };
  pipe.end_tool = [&tool] {
    tool.tool_ended = true;
    if (!tool.script.child_writes) tool.next = tool.script.reads.size();  // its output ends with it
  };
  pipe.now_ms = Clock;
  run.timed_out = PumpToolOutput(pipe, timeout_ms, on_output);
  run.exit_code = run.timed_out ? 1 : tool.script.exit_code;
  return run;
}

bool ShellExecuteWithVerb(const ShellExecuteRequest& request) {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  auto& machine = standin::TheMachine();
  machine.shell_executes.push_back(request.verb + L"|" + request.file + L"|" + request.parameters + L"|" +
                                   request.folder + L"|" + (request.hidden ? L"hidden" : L"normal") + L"|" +
                                   (request.quiet ? L"quiet" : L"plain"));
  return machine.shell_execute_works;
}

namespace {
constexpr uint32_t kFileNotFound = 2;

uint32_t StartNamedProgram(const standin::ProgramStart& start) {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  auto& machine = standin::TheMachine();
  if (!machine.child_start_works || machine.failing_starts.count(start.command_line)) return kFileNotFound;
  machine.child_commands.push_back(start.command_line);
  machine.program_starts.push_back(start);
  machine.journal.push_back("StartProcess " + standin::Narrow(start.command_line));
  return 0;
}
}  // namespace

uint32_t StartDetachedHidden(const std::wstring& program, const std::wstring& command_line,
                             const std::wstring& current_folder) {
  {
    std::lock_guard<std::mutex> hold(standin::MachineLock());
    const uint32_t error = standin::TheMachine().detached_start_error;
    if (error != 0) return error;
  }
  return StartNamedProgram({program, command_line, current_folder, L"detached"});
}

uint32_t StartProgram(const std::wstring& program, const std::wstring& command_line,
                      const std::wstring& current_folder, ProgramWindow window) {
  return StartNamedProgram({program, command_line, current_folder, window == ProgramWindow::Hidden ? L"hidden" : L"shown"});
}

bool ShellOpenShown(const std::wstring& target) {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  standin::TheMachine().shell_opens.push_back(target + L"||(shown)");
  return true;
}

}  // namespace platform

namespace standin {

void ScriptTool(const std::wstring& program_path, const std::vector<std::string>& reads, uint32_t exit_code,
                bool never_ends) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().tools[program_path] = {reads, exit_code, never_ends};
}

void ScriptChattyTool(const std::wstring& program_path, const std::vector<std::string>& reads, uint32_t exit_code,
                      ToolWriter writer) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().tools[program_path] = {reads, exit_code, false, true, writer == ToolWriter::Child};
}

void SetToolPipeWorks(bool works) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().tool_pipe_works = works;
}

std::vector<uint64_t> ToolTimeouts() {
  std::lock_guard<std::mutex> hold(MachineLock());
  return TheMachine().tool_timeouts;
}

std::vector<uint32_t> QueriedProcesses() {
  std::lock_guard<std::mutex> hold(MachineLock());
  return TheMachine().queried_processes;
}

}  // namespace standin
