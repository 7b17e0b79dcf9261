#pragma once
// The dashboard's own display values (main thread) and the reset of a visible scan.
#include <atomic>
#include <cstdint>

// Shown on the Terms page; a project address that receives no mail.
extern const char* const kContactAddress;

extern float ShownProgress;         // animated progress, 0 to 1
extern float LastProgress;          // for stall detection, -1 before any scan
extern uint64_t LastProgressTick;
extern uint64_t ScanStartTick;
extern bool TermsNoResaleTicked;
extern bool TermsContactTicked;

// The reset every user-started visible scan performs before its thread starts.
void BeginVisibleScan();

// The status word: "Scanning", "Protected", "Needs review" or "Threat found".
const char* StatusWord();

// The hero's sentence for ThreatState.
const char* ThreatSentence();

// Back to the values of a fresh start (tests only).
void ResetDashboardForTest();
