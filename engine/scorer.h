#pragma once
// The judgement of one file: verdict, analysis and twelve name, place and content
// rules, capped at 10 and turned into one of four outcomes.
#include <string>
#include <string_view>

#include "engine/heuristic_result.h"

enum class ScoreOutcome { None, Review, Warning, Quarantine };

// Scores the file into the record (overwritten whole) and returns the outcome.
ScoreOutcome ScoreFileOutcome(const std::wstring& path, HeuristicResult& record);

// The engine's entry point: true when the file is to be quarantined (or the verdict
// flagged it and the outcome is review or none).
bool ScoreFile(const std::wstring& path, HeuristicResult& record);

// Points of the entropy rule: 3 above 7.92, else 2 above 7.5, else 0.
int EntropyRulePoints(double entropy);

// The page test over the first 40 lines, lower-cased and joined without separators.
bool IsPhishingText(std::string_view first_lines);

// The first 40 lines of a text file, line ends removed, lower-cased, joined.
std::string ReadPageHead(const std::wstring& path);
