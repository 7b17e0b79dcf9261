#pragma once
// The turn-by-turn reading of a started tool's output pipe, shared by both
// platforms, so that the tests run the very rules that hold a tool to its time limit.
// Only platform implementations include this.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <string_view>

namespace platform {

// Once the tool itself has ended, what is still in the pipe is read for at most this
// long: a grandchild that inherited the write end may keep it open, and writing.
constexpr uint64_t kToolDrainMs = 2000;
// The longest wait for the tool on a turn that found the pipe empty.
constexpr uint32_t kToolPollMs = 50;
// The most bytes one read takes.
constexpr uint32_t kToolReadBytes = 511;

// What the pump needs from a started tool and its pipe.
struct ToolPipe {
  // The bytes waiting in the pipe; false when every write end is closed.
  std::function<bool(uint32_t& available)> peek;
  // Reads at most size bytes, no more than peek said are waiting, so that it never
  // blocks; the count read, 0 on failure.
  std::function<uint32_t(char* buffer, uint32_t size)> read;
  // Waits at most ms for the tool to end; true when it has.
  std::function<bool(uint32_t ms)> wait_for_end;
  // Ends the tool with exit code 1 and waits briefly for it to go.
  std::function<void()> end_tool;
  // Milliseconds on a steady clock.
  std::function<uint64_t()> now_ms;
};

// Hands what the tool writes to on_output, turn by turn, testing the time limit
// (timeout_ms from now) on every turn, whether or not the pipe had bytes: a tool that
// writes without pause is ended at its limit like one that hangs silently. After the
// tool has ended, its last output is read until the pipe is empty or kToolDrainMs
// have passed. True when the tool was still running at its limit and was ended.
inline bool PumpToolOutput(const ToolPipe& pipe, uint64_t timeout_ms,
                           const std::function<void(std::string_view bytes)>& on_output) {
  const uint64_t deadline = pipe.now_ms() + timeout_ms;
  bool ended = false;
  uint64_t drain_until = 0;
  const auto note_end = [&](bool has_ended) {
    if (!has_ended || ended) return;
    ended = true;
    drain_until = pipe.now_ms() + kToolDrainMs;
  };
  char buffer[kToolReadBytes];
  for (;;) {
    if (!ended) note_end(pipe.wait_for_end(0));
    const uint64_t now = pipe.now_ms();
    if (!ended && now >= deadline) {
      pipe.end_tool();
      return true;
    }
    if (ended && now >= drain_until) return false;
    uint32_t available = 0;
    if (!pipe.peek(available)) break;  // every writer is gone
    if (available > 0) {
      const uint32_t got = pipe.read(buffer, std::min(available, kToolReadBytes));
      if (got == 0) break;
      on_output(std::string_view(buffer, got));
      continue;
    }
    if (ended) return false;  // it ended and its last output is read
    note_end(pipe.wait_for_end(static_cast<uint32_t>(std::min<uint64_t>(deadline - now, kToolPollMs))));
  }
  if (ended) return false;
  // The pipe closed while the tool runs on: it is still held to its limit.
  const uint64_t now = pipe.now_ms();
  if (now < deadline && pipe.wait_for_end(static_cast<uint32_t>(std::min<uint64_t>(deadline - now, 0xFFFFFFFEu)))) {
    return false;
  }
  pipe.end_tool();
  return true;
}

}  // namespace platform
