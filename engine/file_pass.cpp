#include "engine/file_pass.h"

#include <algorithm>
#include <mutex>
#include <string_view>
#include <vector>

#include "engine/hash_lists.h"
#include "engine/pe_analysis.h"
#include "engine/scorer.h"
#include "platform/crypto.h"
#include "platform/files.h"

struct PassBuffers {
  std::string read = std::string(524288, '\0');
  std::string head;
};

namespace {
std::mutex g_pool_lock;
// Buffers of passes that ended, for the next ones. Never destroyed, so that a
// pass ending on a thread that outlives static destruction still has a home.
std::vector<PassBuffers*>& Pool() {
  static auto* pool = new std::vector<PassBuffers*>;
  return *pool;
}

PassBuffersLease LeaseBuffers() {
  {
    std::lock_guard<std::mutex> hold(g_pool_lock);
    if (!Pool().empty()) {
      PassBuffers* buffers = Pool().back();
      Pool().pop_back();
      return PassBuffersLease(buffers);
    }
  }
  return PassBuffersLease(new PassBuffers);
}

}  // namespace

// Kept for the next pass; the pool holds at most as many as ran at once.
void PassBuffersReturn::operator()(PassBuffers* buffers) const {
  std::lock_guard<std::mutex> hold(g_pool_lock);
  Pool().push_back(buffers);
}

namespace {
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
  pass.buffers = LeaseBuffers();
  std::string& head = pass.buffers->head;
  head.clear();
  Guarded(analysis.active, pass.analysis_fault, [&] { analysis.head_wanted = kHeaderReadBytes; });

  // The first bytes, kept to tell whether the whole file is a short one.
  constexpr std::size_t kSmallFileBytes = 128;
  std::string lead;
  uint64_t total = 0;
  bool stopped = false;
  const auto judge = [&](std::string_view chunk) {
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
  const auto visit = [&](std::string_view chunk) {
    if (lead.size() <= kSmallFileBytes) lead.append(chunk.substr(0, kSmallFileBytes + 1 - lead.size()));
    total += chunk.size();
    stopped = !judge(chunk);
    return !stopped;
  };

  try {
    pass.open_error = platform::ReadFileThrough(path, pass.buffers->read, visit, pass.read_failed);
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
    // The head is what was read: a read error past the headers (a byte-range lock
    // over the tail, say) must not cost the header walk what it did read.
    pass.head = head;
  });
  Guarded(page.active, pass.page_fault, [&] { pass.page_text = page.reader.Finish(); });
  if (analysis.active && !pass.read_failed && !stopped && total <= kSmallFileBytes) {
    pass.small_file_read = true;
    pass.small_file = std::move(lead);
  }
  return pass;
}
