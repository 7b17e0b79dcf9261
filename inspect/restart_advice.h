#pragma once
// Restart advice after a removal, and the restart itself.

// True when ntoskrnl.exe, ntfs.sys, disk.sys and a boot loader are present on C:.
// A status error outside the "not found" family throws.
bool CoreBootFilesPresent();

// Records whether the boot files are intact and raises the dashboard's restart card:
// a restart when they are, Windows Recovery when they are not.
void AdviseRestart();

// Restarts Windows: ExitWindowsEx, else the system folder's shutdown.exe started by its full path.
void RestartNow();
