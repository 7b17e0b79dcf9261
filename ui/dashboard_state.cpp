#include "ui/dashboard_state.h"

#include "app/scan_state.h"
#include "platform/clock.h"

const char* const kContactAddress = "support@kestrune.invalid";

float ShownProgress = 0.0f;
float LastProgress = -1.0f;
uint64_t LastProgressTick = 0;
uint64_t ScanStartTick = 0;
bool TermsNoResaleTicked = false;
bool TermsContactTicked = false;

void BeginVisibleScan() {
  ScanActive.store(true);
  ScanProgress.store(0.0f);
  WalkedFileCount.store(0);
  ScanStopRequested.store(false);
  BatchNoticeShown.store(false);
  ScanStartTick = LastProgressTick = platform::TickCount64();
  LastProgress = 0.0f;
  ShownProgress = 0.0f;
  OverlayShown.store(true);
  ThreatState.store(0);
  WarningNoticeShown.store(false);
}

const char* StatusWord() {
  if (ScanActive.load()) return "Scanning";
  switch (ThreatState.load()) {
    case 0:
      return "Protected";
    case 1:
      return "Needs review";
    default:
      return "Threat found";
  }
}

const char* ThreatSentence() {
  switch (ThreatState.load()) {
    case 0:
      return "No active threat";
    case 1:
      return "A file needs review";
    default:
      return "A threat was contained";
  }
}

void ResetDashboardForTest() {
  ShownProgress = 0.0f;
  LastProgress = -1.0f;
  LastProgressTick = 0;
  ScanStartTick = 0;
  TermsNoResaleTicked = false;
  TermsContactTicked = false;
}
