#pragma once
// Server protection, run on server products only.

// One server protection check.
void ServerProtectionCheck();
