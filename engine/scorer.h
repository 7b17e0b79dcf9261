#pragma once
// The judgement of one file: verdict, analysis and twelve name, place and content
// rules, capped at 10 and turned into one of four outcomes.
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/heuristic_result.h"

enum class ScoreOutcome { None, Review, Warning, Quarantine };

// Whether judging a file opened it: tried is false when it never had to read it.
struct JudgedOpen {
  bool tried = false;
  uint32_t error = 0;        // Win32 error code of a failed open, 0 when it opened
  bool read_failed = false;  // a read error came before the judgement had read what it needed
};

// Scores the file into the record (overwritten whole) and returns the outcome; the
// file is read at most once, for exactly the parts that can change the result.
ScoreOutcome ScoreFileOutcome(const std::wstring& path, HeuristicResult& record, JudgedOpen* opened = nullptr);

// The engine's entry point: true when the file is to be quarantined (or the verdict
// flagged it and the outcome is review or none).
bool ScoreFile(const std::wstring& path, HeuristicResult& record);

// Points of the entropy rule: 3 above 7.92, else 2 above 7.5, else 0.
int EntropyRulePoints(double entropy);

// The page test over the first 40 lines, lower-cased and joined without separators.
bool IsPhishingText(std::string_view first_lines);

// Gathers the first 40 lines of a page from chunks of any size: text-mode lines
// (CR LF ends a line, a lone CR is a character), line ends removed, lower-cased,
// joined without separators. The 41st line is read but not used. Of each line only
// its first kPageLineLimit bytes are kept and the rest is read past, so that padding
// cannot push the words out of the check; the whole read stops at kPageReadLimit,
// and what was gathered by then is judged.
constexpr std::size_t kPageLineLimit = 65536;
constexpr std::size_t kPageReadLimit = 4u << 20;

struct PageHeadReader {
  std::string text;
  std::string line;
  int lines = 0;
  std::size_t bytes_read = 0;  // of the whole page
  bool pending_cr = false;
  // False once the 41st line has ended, or the read limit is reached, and no more
  // bytes are wanted.
  bool Add(std::string_view chunk);
  // The gathered text, counting a last line without a line end.
  std::string Finish();
};

// The first 40 lines of a text file, line ends removed, lower-cased, joined.
std::string ReadPageHead(const std::wstring& path);

// True for the extensions whose files get the page check.
bool IsPageFile(const std::wstring& path);
