#pragma once
// The one read of a file that judging it needs: the SHA-256 of the whole file, the
// byte counts of its first MiB, its head for the header walk and the first lines
// of a page, all taken from one sequential pass in large chunks. The pass reads no
// further than the parts asked for need.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

struct FilePassPlan {
  bool hash = false;          // the whole file through SHA-256
  bool analysis = false;      // entropy of the first MiB and the head of 2 MiB
  bool page = false;          // the first 40 lines of a page, lower-cased and joined
};

// The read buffer and head store of one pass, taken from a shared pool and given
// back when the pass that holds them is dropped (no per-thread storage: MinGW's
// thread-local objects with destructors are not safe at thread exit).
struct PassBuffers;
struct PassBuffersReturn {
  void operator()(PassBuffers* buffers) const;
};
using PassBuffersLease = std::unique_ptr<PassBuffers, PassBuffersReturn>;

struct FilePass {
  bool tried = false;         // false when the plan asked for nothing, so nothing was opened
  uint32_t open_error = 0;    // Win32 error code of a failed open; 0 when it opened
  bool read_failed = false;   // a read error ended the pass
  std::wstring sha256;        // 64 lower-case hex digits; "" when not asked for or not computed
  double entropy = 0.0;       // of the first MiB that was read
  // The first 2 MiB of an "MZ" file, or as much of them as was read before the end of
  // the file or a read error; points into buffers, valid while this pass lives.
  std::string_view head;
  PassBuffersLease buffers;
  std::string page_text;
  // The whole file when the analysis read it to its end within its first 128 bytes
  // (the size of the industry's test file with its allowed padding); else empty.
  bool small_file_read = false;
  std::string small_file;
  // An internal fault (memory) that spoiled one part; the others are still good.
  bool hash_fault = false;
  bool analysis_fault = false;
  bool page_fault = false;

  bool Opened() const { return tried && open_error == 0; }
};

// Reads the file once for the parts the plan asks for. Never throws. Only "MZ"
// heads are kept, since only they can hold a section table.
FilePass ReadFileForJudgement(const std::wstring& path, const FilePassPlan& plan);
