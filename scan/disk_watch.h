#pragma once
// Watch for newly attached drives.

// One look at the logical-drive mask; each new drive starts its own scan.
void PollNewDrives();
