#include "inspect/volume_check.h"

#include "app/activity_log.h"
#include "platform/drives.h"
#include "upkeep/admin_mode.h"

bool ProbeSystemVolume() {
  if (!AdminMode.load()) return true;
  return platform::ProbeRawVolume(L"\\\\.\\C:");
}

void CheckSystemVolume() {
  if (!ProbeSystemVolume()) AppendActivity(L"[VOLUME] Could not open C: for a read-only check.");
}
