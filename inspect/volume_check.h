#pragma once
// A read-only look at the raw system volume, which a disk-level rootkit may lock.

// False only in admin mode when \\.\C: cannot be opened for reading; in user mode
// nothing is opened and the answer is true.
bool ProbeSystemVolume();

// The step "volume-c": reports a system volume that cannot be opened.
void CheckSystemVolume();
