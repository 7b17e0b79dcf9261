#include "engine/scorer.h"

#include <initializer_list>
#include <stdexcept>

#include "app/activity_log.h"
#include "engine/file_pass.h"
#include "engine/hash_lists.h"
#include "engine/path_classes.h"
#include "engine/pe_analysis.h"
#include "engine/test_file.h"
#include "engine/verdict.h"
#include "inspect/run_keys.h"
#include "platform/files.h"

namespace {
constexpr int kPageLines = 40;
constexpr std::size_t kPageChunkBytes = 4096;

bool OneOf(const std::wstring& text, std::initializer_list<const wchar_t*> options) {
  for (const wchar_t* option : options) {
    if (text == option) return true;
  }
  return false;
}

bool HoldsAny(const std::wstring& text, std::initializer_list<const wchar_t*> parts) {
  for (const wchar_t* part : parts) {
    if (Contains(text, part)) return true;
  }
  return false;
}

// Rule 12's page check over the text the pass gathered; its faults are its own and
// cost only its points.
bool LooksLikePhishingPage(const std::wstring& path, const FilePass& pass) {
  try {
    if (pass.page_fault) throw std::runtime_error("page check failed");
    return IsPhishingText(pass.page_text);
  } catch (...) {
    AppendActivity(L"[FAULT] Phishing check skipped: " + path);
    return false;
  }
}
}  // namespace

int EntropyRulePoints(double entropy) {
  if (entropy > kVeryHighEntropy) return 3;
  if (entropy > kElevatedEntropy) return 2;
  return 0;
}

bool IsPhishingText(std::string_view text) {
  const auto has = [&](std::string_view word) { return text.find(word) != std::string_view::npos; };
  return has("password") && (has("login") || has("verify")) && has("http");
}

bool PageHeadReader::Add(std::string_view chunk) {
  if (lines > kPageLines) return false;
  const auto keep = [this](char c) {
    if (lines < kPageLines && line.size() < kPageLineLimit) line.push_back(c);
  };
  for (const char c : chunk) {
    // A page that goes on and on is judged on what was gathered by the limit.
    if (++bytes_read > kPageReadLimit) {
      if (lines < kPageLines) text += ToLowerAscii(line);
      line.clear();
      lines = kPageLines + 1;
      return false;
    }
    if (pending_cr) {
      pending_cr = false;
      if (c != '\n') keep('\r');
    }
    if (c == '\r') {
      pending_cr = true;
    } else if (c == '\n') {
      if (lines < kPageLines) text += ToLowerAscii(line);
      line.clear();
      if (++lines > kPageLines) return false;
    } else {
      keep(c);  // the 41st line is read to its end but never kept
    }
  }
  return true;
}

std::string PageHeadReader::Finish() {
  if (lines > kPageLines) return text;
  if (pending_cr && lines < kPageLines && line.size() < kPageLineLimit) line.push_back('\r');
  pending_cr = false;
  if (!line.empty() && lines < kPageLines) {
    text += ToLowerAscii(line);
    ++lines;
  }
  line.clear();
  return text;
}

std::string ReadPageHead(const std::wstring& path) {
  PageHeadReader reader;
  platform::ReadFileInChunks(path, kPageChunkBytes, [&](std::string_view chunk) { return reader.Add(chunk); });
  return reader.Finish();
}

bool IsPageFile(const std::wstring& path) {
  return OneOf(ToLowerAscii(ExtensionOf(path)), {L".url", L".html", L".htm"});
}

ScoreOutcome ScoreFileOutcome(const std::wstring& path, HeuristicResult& record, JudgedOpen* opened) {
  // One read of the file serves the verdict's hash, the analysis and the page check.
  const int32_t events = IntegrityEventCount.load();
  FilePassPlan plan;
  plan.hash = VerdictNeedsHash(path, events);
  const AnalysisStart start = PlanAnalysis(path);
  plan.analysis = start == AnalysisStart::ReadBytes;
  plan.page = IsPageFile(path);
  const FilePass pass = ReadFileForJudgement(path, plan);
  if (opened) *opened = JudgedOpen{pass.tried, pass.open_error, pass.read_failed};

  // The test file has a verdict of its own, before every rule, so that people who
  // check their protection with it see it contained like any threat.
  if (pass.small_file_read && !IsSystemLocation(path) && IsAntiMalwareTestFile(pass.small_file)) {
    record = AnalysisOf(path, start, pass);
    record.flagged = true;
    record.suspicious = true;
    record.score = 10;
    record.reason = kTestFileReason;
    return ScoreOutcome::Quarantine;
  }

  const HeuristicResult verdict = VerdictOf(path, plan.hash ? HashFromPass(path, pass) : L"", events);
  record = AnalysisOf(path, start, pass);
  record.flagged = verdict.flagged;
  record.suspicious = verdict.suspicious;
  if (record.entropy <= 0.0) record.entropy = verdict.entropy;

  int32_t score = verdict.score / 10;
  std::wstring tags = verdict.reason + L" ";
  const auto add = [&](int32_t points, const wchar_t* tag) {
    score += points;
    tags += tag;
  };

  const std::wstring name = ToLowerAscii(FileNameOf(path));
  const std::wstring ext = ToLowerAscii(ExtensionOf(path));
  const bool user_writable = IsUserWritableLocation(path);

  switch (EntropyRulePoints(record.entropy)) {
    case 3:
      add(3, L"high-entropy ");
      break;
    case 2:
      add(2, L"elevated-entropy ");
      break;
  }
  if (Contains(record.reason, L"RWX")) add(3, L"rwx-section ");
  if (user_writable) add(2, L"user-writable-path ");
  if (OneOf(ext, {L".exe", L".dll", L".scr"}) && user_writable) add(1, L"dropped-binary ");
  if (HoldsAny(name, {L".pdf.", L".jpg.exe", L".doc.exe"})) add(2, L"double-extension ");
  if (OneOf(ext, {L".vbs", L".js", L".jse", L".bat", L".cmd", L".ps1"}) &&
      (IsReferencedByRunKey(path) || user_writable)) {
    add(2, L"script-drop ");
  }
  if (Contains(name, L"readme") && HoldsAny(name, {L"decrypt", L"ransom"})) add(2, L"ransom-note ");
  if (name == L"autorun.inf" && !IsSystemLocation(path)) add(2, L"autorun ");
  if (HoldsAny(name, {L"keylog", L"stalker", L"spysetup"})) add(3, L"stalkerware ");
  if (HoldsAny(name, {L"adware", L"coupon", L"popupoffer"})) add(2, L"adware ");
  if (HoldsAny(name, {L"xmrig", L"miner", L"stratum"})) add(3, L"crypto-threat ");
  if (plan.page && LooksLikePhishingPage(path, pass)) add(2, L"phishing-page ");

  if (score > 10) score = 10;
  record.score = score;
  const std::wstring summary = std::to_wstring(score) + L" (" + tags + L")";
  if (score >= 8 && !IsSystemLocation(path)) {
    record.flagged = true;
    record.suspicious = true;
    record.reason = L"Heuristic score=" + summary;
    return ScoreOutcome::Quarantine;
  }
  if (score >= 6 && score <= 7) {
    record.suspicious = true;
    record.reason = L"Warning only score=" + summary;
    return ScoreOutcome::Warning;
  }
  if (score >= 3) {
    record.suspicious = true;
    record.reason = L"Heuristic review score=" + summary;
    return ScoreOutcome::Review;
  }
  return ScoreOutcome::None;
}

bool ScoreFile(const std::wstring& path, HeuristicResult& record) {
  switch (ScoreFileOutcome(path, record)) {
    case ScoreOutcome::Quarantine:
      return true;
    case ScoreOutcome::Warning:
      return false;
    default:
      return record.flagged;
  }
}
