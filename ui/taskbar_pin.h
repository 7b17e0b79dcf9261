#pragma once
// One taskbar identity, "Kestrune.KestruneAV", for the process, its window and its
// Start-menu shortcuts, so that a pinned shortcut and the running window share one
// taskbar button; and the dashboard's "Pin to taskbar".

extern const wchar_t* const kAppIdentity;

// Sets the process identity, the window's when with_window, and writes
// "Kestrune AV.lnk" with the identity into both Start-menu programs folders (the
// all-users one only where the process may write). Failures are silent.
void StampAppIdentity(bool with_window);

// Stamps again, copies the desktop shortcut among the pinned taskbar items, says how
// to pin it by hand, and (in user mode only) shows that shortcut in Explorer.
void PinToTaskbar();
