#pragma once
// The stand-in Windows' state, shared by its topic files. One lock guards it all.
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <mutex>
#include <string>
#include <vector>

#include "platform/process_setup.h"
#include "platform/standin/control.h"
#include "platform/registry.h"
#include "platform/tray.h"
#include "platform/standin/control.h"

namespace standin {

struct Machine {
  std::vector<std::string> journal;
  std::map<wchar_t, std::string> drives;             // upper-case letter -> host folder
  std::map<std::wstring, uint32_t> failing_paths;
  struct DriveState {
    uint32_t type = 3;  // fixed
    bool ready = true;
    uint64_t free_bytes = 400ull << 30;
    uint64_t total_bytes = 1ull << 40;
  };
  std::map<wchar_t, DriveState> drive_states;         // upper-case letter
  std::map<std::wstring, uint32_t> held_files;        // lock-probe errors
  std::vector<std::wstring> full_disk_prefixes;
  struct ListingFault {
    std::size_t after_entries = 0;
    uint32_t error_code = 0;
  };
  std::map<std::wstring, ListingFault> listing_faults;
  std::map<std::wstring, uint64_t> read_limits;       // bytes readable before a read fails
  std::map<std::wstring, std::function<void()>> read_actions;  // run once, in the middle of the next read
  std::set<std::wstring> hidden_from_find;            // lower-cased full paths the find listing leaves out
  std::map<std::wstring, std::size_t> library_faults; // folder -> entries the library lists before it fails
  std::map<std::wstring, ListingFault> native_listing_faults;  // by folder key
  std::map<std::wstring, std::function<void(std::size_t)>> native_listing_hooks;  // by folder key
  std::set<std::wstring> read_only_paths;             // lower-cased full paths
  std::set<std::wstring> unguardable_folders;         // lower-cased folders whose access list cannot be set
  std::map<std::wstring, PathSecurity> security;     // owner and grantees by path key; none = made by us
  std::set<std::wstring> held_folders;                // path keys kept open without delete sharing
  std::map<int, std::wstring> known_folders;          // by platform::KnownFolder; missing = cannot be resolved
  bool instance_window = false;                       // a window of a running instance of this program
  bool instance_mutex_freed = false;                  // the single-instance name's holder has gone
  std::set<std::wstring> writable_by_others;          // lower-cased paths other accounts may change
  std::wstring temp_folder;                           // "" = GetTempPathW fails
  bool raw_volume_opens = true;
  struct FileTraffic {
    int opens = 0;
    uint64_t bytes_read = 0;
  };
  std::map<std::wstring, FileTraffic> traffic;        // every open and read of a path
  std::wstring profile_folder;
  struct ChangeWait {
    bool fails = false;
    bool folder_gone = false;  // the watch ends as if the folder had been deleted or moved
    std::vector<std::pair<uint32_t, std::wstring>> records;
  };
  std::map<std::wstring, std::vector<ChangeWait>> change_waits;
  std::size_t last_change_buffer_bytes = 0;
  bool thread_start_fails = false;
  struct Process {
    uint32_t pid = 0;
    std::wstring exe_name;
    std::wstring image_path;
    bool killable = true;
  };
  std::vector<Process> processes;
  uint32_t own_pid = 4242;
  bool process_snapshot_works = true;
  std::vector<uint32_t> terminated;
  std::map<uint32_t, std::wstring> reused_process_ids;  // pid -> image of the program that gets it next
  std::vector<std::wstring> child_commands;
  std::vector<ProgramStart> program_starts;    // starts that named their program
  std::set<std::wstring> failing_starts;       // command lines whose start fails
  bool child_start_works = true;
  std::vector<std::wstring> shell_opens;
  std::vector<std::wstring> shell_executes;  // "verb|file|parameters|folder|show|quiet"
  bool shell_execute_works = true;
  std::vector<std::wstring> phonebook;         // remote-access entry names
  uint32_t detached_start_error = 0;
  bool administrator = false;
  std::vector<uint32_t> process_end_codes;
  std::wstring module_path = L"C:\\Program Files\\KestruneAV\\KestruneAV.exe";
  std::map<int, std::wstring> shell_folders;  // by platform::ShellFolder; missing = cannot be resolved
  std::vector<std::wstring> notices;           // information boxes, "caption: text"
  std::vector<std::pair<std::wstring, std::wstring>> shortcuts;  // (link path, "target|folder|description|id")
  struct ToolScript {
    std::vector<std::string> reads;  // what the tool writes, read by read
    uint32_t exit_code = 0;
    bool never_ends = false;
    bool chatty = false;        // the reads are written again and again
    bool child_writes = false;  // ...by a child holding the pipe, after the tool ended
  };
  std::map<std::wstring, ToolScript> tools;  // by program path
  bool tool_pipe_works = true;
  std::vector<uint64_t> tool_timeouts;        // the time limit of each tool run
  std::vector<uint32_t> queried_processes;    // ids whose image path was asked for
  bool wlan_available = true;
  std::wstring wlan_profile;
  int wlan_disconnects = 0;
  struct Service {
    std::wstring name;
    std::wstring image_path;
    bool running = false;
  };
  std::vector<Service> services;
  std::vector<std::wstring> stopped_services;
  bool service_manager_opens = true;
  std::map<std::wstring, uint32_t> newest_events;  // log name -> event id of its newest record
  bool exit_windows_works = true;
  int restart_requests = 0;
  std::wstring current_folder = L"C:\\Users\\bob";
  std::set<std::wstring> signed_paths;
  struct RegistryKey {
    std::vector<platform::RegistryValue> values;
  };
  std::map<std::pair<int, std::wstring>, RegistryKey> registry;  // (hive, lower-cased key)
  std::set<int> read_only_hives;
  std::wstring console_output;
  bool console_interactive = false;  // output redirected unless a test says otherwise
  std::map<std::wstring, std::wstring> environment;
  uint64_t now_ms = 0;
  std::vector<uint64_t> sleeps;
  std::function<void(uint64_t)> on_sleep;
  bool cpu_query_works = true;
  bool cpu_query_open = false;
  double cpu_percent = 0.0;
  int cpu_collections = 0;
  uint32_t os_build = 19045;
  bool os_workstation = true;
  platform::InstanceLock instance_lock = platform::InstanceLock::Acquired;
  std::vector<std::wstring> debug_lines;
  std::vector<StartedThread> threads;
  bool window_works = true;
  bool window_exists = false;
  bool hardware_works = true;
  bool warp_works = true;
  bool device_exists = false;
  bool backends_started = false;
  int quit_after_turns = 1;
  int turn = -1;
  std::function<bool(int)> shown_on_turn;
  std::vector<bool> presents;
  bool window_visible = true;
  bool tray_icon = false;
  std::vector<std::pair<std::wstring, std::wstring>> balloons;
  void (*gui_event_handler)(platform::GuiEvent) = nullptr;
  bool gpu_counter = false;
  double gpu_percent = 0.0;
  std::vector<std::wstring> picked_folders;  // answers of the folder picker, in order
  std::vector<bool> yes_no_answers;          // answers of Yes/No questions, in order
  std::vector<std::wstring> questions;
};

Machine& TheMachine();
std::mutex& MachineLock();

// Appends to the journal under the machine's lock.
void Note(const std::string& entry);

// Counts one open of the path (the traffic that tests read back).
void NoteOpen(const std::wstring& windows_path);

// The key of a path in the read-only, hidden and fault sets (lower-case, no trailing separator).
std::wstring PathKeyOf(const std::wstring& windows_path);
// Whether a filter hides the folder's entry from the find listing.
bool HiddenFromFind(const std::wstring& folder, const std::wstring& name);
// Whether a test filled the disk under the path (writes truncate, then fail).
bool OnFullDisk(const std::wstring& windows_path);

// Narrow form of a Windows path for the journal (ASCII kept, others as '?').
std::string Narrow(const std::wstring& text);

// What a netsh run started does to the wireless connection: "wlan disconnect" drops
// it, "wlan connect name=\"X\"" connects profile X.
void RunNetshWlan(const std::wstring& command_line);

}  // namespace standin
