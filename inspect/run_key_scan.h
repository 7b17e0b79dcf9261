#pragma once
// The Run-key scan: every Run and RunOnce value of the user and the machine in the
// activity log, with the program it starts; each existing program outside the
// system folders goes through the file scan. It never changes the registry.

// The body of "registry-scan": the four autostart locations in their order.
void ScanRunKeys();
