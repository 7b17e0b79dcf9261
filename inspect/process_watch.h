#pragma once
// Processes that run from an image no longer on disk: a program that deleted or
// hid its own file after starting.

// Reports every process whose image lies in a user-writable folder but is missing
// on disk, for the user to review; nothing is stopped. An image whose existence
// cannot be tested (access denied, a dropped share) is logged as not checked and
// the other processes are still looked at.
void ScanStealthProcesses();
