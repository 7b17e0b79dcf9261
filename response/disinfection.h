#pragma once
// The user's clean-up-now action ("Run disinfection"): the active target, the
// autostart entries, services and processes, the three user folders where malware
// most often sits, the integrity check, and a count of what it contained.

// The body of "disinfect-pass".
void RunDisinfectionPass();
