#include "engine/file_pass.h"

#include <algorithm>
#include <string_view>

#include "engine/hash_lists.h"
#include "engine/pe_analysis.h"
#include "engine/scorer.h"
#include "platform/crypto.h"
#include "platform/files.h"

namespace {
constexpr std::size_t kPassChunkBytes = 524288;

// Each scanning thread keeps its read buffer and its head store from file to file,
// so that judging a file costs no fresh memory.
std::string& PassBuffer() {
  thread_local std::string buffer(kPassChunkBytes, '\0');
  return buffer;
}

std::string& HeadStore() {
  thread_local std::string head;
  return head;
}

struct HashPart {
  bool active = false;
  platform::Sha256Stream stream;
};

struct AnalysisPart {
  bool active = false;
  EntropyTally tally;
  std::size_t head_wanted = 0;
};

struct PagePart {
  bool active = false;
  PageHeadReader reader;
};

// Runs one part's work on a chunk; a fault turns that part off and marks it.
template <typename Work>
void Guarded(bool& active, bool& fault, Work work) {
  if (!active) return;
  try {
    work();
  } catch (...) {
    active = false;
    fault = true;
  }
}
}  // namespace

FilePass ReadFileForJudgement(const std::wstring& path, const FilePassPlan& plan) {
  FilePass pass;
  if (!plan.hash && !plan.analysis && !plan.page) return pass;
  pass.tried = true;

  HashPart hash;
  AnalysisPart analysis;
  PagePart page;
  hash.active = plan.hash;
  analysis.active = plan.analysis;
  page.active = plan.page;
  Guarded(hash.active, pass.hash_fault, [&] {
    hash.stream = platform::BeginSha256();
    hash.active = static_cast<bool>(hash.stream);
  });
  std::string& head = HeadStore();
  head.clear();
  Guarded(analysis.active, pass.analysis_fault, [&] { analysis.head_wanted = kHeaderReadBytes; });

  const auto visit = [&](std::string_view chunk) {
    Guarded(hash.active, pass.hash_fault, [&] {
      hash.active = platform::AddToSha256(*hash.stream, chunk);
    });
    bool analysis_wants_more = false;
    Guarded(analysis.active, pass.analysis_fault, [&] {
      const bool counting = analysis.tally.Add(chunk);
      const std::size_t room = analysis.head_wanted - head.size();
      head.append(chunk.substr(0, room));
      // Only a head that begins "MZ" can hold a section table; others are not kept.
      if (head.size() >= 2 && head.compare(0, 2, "MZ") != 0) {
        analysis.head_wanted = 0;
        head.clear();
      }
      analysis_wants_more = counting || head.size() < analysis.head_wanted;
    });
    bool page_wants_more = false;
    Guarded(page.active, pass.page_fault, [&] { page_wants_more = page.reader.Add(chunk); });
    return hash.active || (analysis.active && analysis_wants_more) || (page.active && page_wants_more);
  };

  try {
    pass.open_error = platform::ReadFileThrough(path, PassBuffer(), visit, pass.read_failed);
  } catch (...) {  // the read itself could not go on (memory): every part still open is spoiled
    pass.hash_fault = pass.hash_fault || hash.active;
    pass.analysis_fault = pass.analysis_fault || analysis.active;
    pass.page_fault = pass.page_fault || page.active;
    return pass;
  }
  if (pass.open_error != 0) return pass;

  Guarded(hash.active, pass.hash_fault, [&] {
    std::string digest;
    // A read error leaves the hash unfinished: a part of a file is not that file.
    if (!pass.read_failed && platform::FinishSha256(*hash.stream, digest)) pass.sha256 = HexOf(digest);
  });
  Guarded(analysis.active, pass.analysis_fault, [&] {
    pass.entropy = analysis.tally.Entropy();
    // A read error before the head was whole means the head could not be read.
    pass.head_read = !pass.read_failed || head.size() >= analysis.head_wanted;
    if (pass.head_read) pass.head = head;
  });
  Guarded(page.active, pass.page_fault, [&] { pass.page_text = page.reader.Finish(); });
  return pass;
}
