#pragma once
// Processes that run from an image no longer on disk: a program that deleted or
// hid its own file after starting.

// Reports every process whose image lies in a user-writable folder but is missing
// on disk, for the user to review; nothing is stopped. An unexpected error of the
// existence test throws and ends the caller's step.
void ScanStealthProcesses();
