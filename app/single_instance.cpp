#include "app/single_instance.h"

#include "app/activity_log.h"
#include "platform/clock.h"
#include "platform/process_setup.h"

namespace {
constexpr unsigned kInstancePollMs = 250;
}  // namespace

bool AnotherInstanceRuns() {
  for (unsigned waited = 0;; waited += kInstancePollMs) {
    if (platform::InstanceWindowOfThisProgram()) return true;
    if (platform::TakeOverInstanceMutex()) return false;  // its holder is gone: nothing to wait for
    if (waited >= kInstanceWaitMs) break;
    platform::SleepMs(kInstancePollMs);
  }
  AppendActivity(L"[SYSTEM] Another program holds the single-instance name; no running instance of Kestrune "
                 L"answers, so this one starts.");
  return false;
}
