#pragma once
// The official Windows repair tools, started from the system folder with their
// output in the activity log, the admin extended scan that runs them when the boot
// files look incomplete, and the restart into Windows Recovery. The system never
// repairs Windows itself.
#include <cstdint>
#include <string>
#include <string_view>

// How long a tool may run before it is ended: SFC and DISM can take an hour on a
// slow disk, a tool still running after two is taken to hang.
constexpr uint64_t kOfficialToolTimeLimitMs = 2ull * 60 * 60 * 1000;

// What a tool writes, as text. Most tools write 8-bit text (each byte shown as a
// signed 8-bit character); SFC writes UTF-16LE into a pipe, which is recognised by
// its byte-order mark, or by zero bytes at most odd positions of its first bytes.
class ToolOutputDecoder {
 public:
  // The text of the bytes so far; bytes that cannot be decoded yet (the first few
  // while the form is unknown, half a UTF-16 unit) wait for the next call.
  std::wstring Add(std::string_view bytes);
  // The text of the bytes still waiting, at the end of the output.
  std::wstring Finish();

 private:
  enum class Form { Unknown, Bytes, Utf16 };
  std::wstring Decode();
  Form form_ = Form::Unknown;
  std::string waiting_;
};

// Runs the tool from the system folder hidden, its output in the activity log as text
// (the last 400 characters each time more than 400 have gathered), and logs its exit
// code.
// Admin mode only. True when it ran and ended with exit code 0.
bool RunOfficialTool(const std::wstring& tool, const std::wstring& arguments, const std::wstring& display_name);

// The admin-mode steps of every quick and deep scan, then the official repairs when
// the core boot files look incomplete.
void RunAdminExtendedScan();

// The body of "winre": asks, then schedules a restart into Windows Recovery (admin mode only).
void OpenWindowsRecovery();
