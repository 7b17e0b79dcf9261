#include "engine/verdict.h"

#include "app/activity_log.h"
#include "app/wide.h"
#include "engine/hash_lists.h"
#include "engine/path_classes.h"
#include "engine/pe_analysis.h"

std::atomic<int32_t> IntegrityEventCount{0};

const std::unordered_set<std::wstring> CriticalProcessNames = {
    L"explorer.exe", L"dwm.exe",      L"csrss.exe", L"smss.exe", L"services.exe", L"lsass.exe",
    L"winlogon.exe", L"devenv.exe",   L"systemd",   L"init",     L"bash",         L"Xorg",
};

namespace {
const std::unordered_set<std::wstring> kKnownGoodNames = {
    L"teams.exe",       L"ms-teams.exe",         L"onedrive.exe",
    L"onenote.exe",     L"outlook.exe",          L"winword.exe",
    L"excel.exe",       L"powerpnt.exe",         L"msaccess.exe",
    L"lync.exe",        L"skype.exe",            L"code.exe",
    L"devenv.exe",      L"explorer.exe",         L"searchhost.exe",
    L"startmenuexperiencehost.exe",              L"shellexperiencehost.exe",
    L"runtimebroker.exe",                        L"sihost.exe",
    L"applicationframehost.exe",                 L"systemsettings.exe",
    L"taskmgr.exe",     L"dwm.exe",              L"csrss.exe",
    L"lsass.exe",       L"services.exe",         L"svchost.exe",
    L"winlogon.exe",    L"fontdrvhost.exe",      L"spoolsv.exe",
    L"securityhealthservice.exe",                L"msmpeng.exe",
    L"nissrv.exe",      L"smartscreen.exe",      L"widgetservice.exe",
};
const wchar_t* const kKnownGoodFragments[] = {L"\\microsoft\\", L"\\windows apps\\", L"\\windowsapps\\",
                                               L"\\office",     L"\\onedrive",       L"\\teams"};
}  // namespace

bool IsKnownGoodProduct(const std::wstring& path) {
  if (kKnownGoodNames.count(ToLowerAscii(FileNameOf(path))) > 0) return true;
  const std::wstring lowered = ToLowerAscii(path);
  for (const wchar_t* fragment : kKnownGoodFragments) {
    if (Contains(lowered, fragment)) return true;
  }
  return false;
}

bool TrustGate(const std::wstring& path, const std::string& hash8, int32_t event_count, bool fallback) {
  if (event_count <= 50 && !fallback) return false;
  if (!hash8.empty() && IsSafeHashNarrow(hash8)) return false;
  if (IsSafeHash(WidenBytes(hash8)) || IsKnownGoodProduct(path)) return false;
  return !HasValidSignature(path);
}

TrustClass ClassifyTrust(const std::wstring& path, const std::wstring& hash) {
  TrustClass trust;
  if (IsKnownGoodProduct(path)) {
    trust.label = L"Known good product (Office/Teams/Windows)";
  } else if (HasValidSignature(path)) {
    trust.label = L"Valid digital signature";
  } else if (IsMicrosoftFile(path)) {
    trust.label = L"Microsoft certified application";
  } else {
    const bool many_events = IntegrityEventCount.load() >= 2;
    int32_t score = many_events ? 40 : 0;
    if (IsSafeHash(hash)) score = many_events ? 10 : -30;
    trust.trustScore = score < 0 ? 0 : score;
    trust.label = L"Clean file/process";
  }
  return trust;
}

bool VerdictNeedsHash(const std::wstring& path, int32_t event_count) {
  if (IsSystemLocation(path)) return false;
  return BadHashCount() > 0 || (event_count > 50 && AnySafeHashes());
}

HeuristicResult VerdictOf(const std::wstring& path, const std::wstring& hash, int32_t event_count) {
  HeuristicResult record;
  if (IsSystemLocation(path)) {
    record.reason = L"System protected file";
    return record;
  }
  try {
    if (!hash.empty() && IsBadHash(hash) && !IsSafeHash(hash)) {
      record.flagged = true;
      record.score = 90;
      record.reason = L"Local bad-hash match";
      return record;
    }
  } catch (...) {
    AppendActivity(L"[FAULT] Hash check skipped: " + path);
  }
  if (!TrustGate(path, NarrowLowBytes(hash), event_count, false)) {
    record.reason = L"Backend AI allowed";
    return record;
  }
  record.reason = ClassifyTrust(path, hash).label;
  return record;
}

HeuristicResult Verdict(const std::wstring& path) {
  const int32_t events = IntegrityEventCount.load();
  const std::wstring hash = VerdictNeedsHash(path, events) ? ComputeFileSha256(path) : L"";
  return VerdictOf(path, hash, events);
}
