#include "inspect/repair_tools.h"

#include "app/activity_log.h"
#include "upkeep/admin_mode.h"

void OpenWindowsRecovery() {
  if (!AdminMode.load()) {
    AppendActivity(L"[REPAIR] Admin Mode required to open Windows Recovery.");
    return;
  }
  // The question and the official shutdown.exe run join with the repair tools.
}
