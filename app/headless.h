#pragma once
// Protection without a user interface, when no window or no device can be had.

// Releases any device, starts the workers and runs headless; returns the exit code 0
// once AppRunning has been cleared from outside.
int HeadlessMode();

// Logs the headless line, starts the silent quick scan, then waits while AppRunning.
void RunHeadless();
