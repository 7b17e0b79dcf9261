#pragma once
// The user's clean-up-now action ("Run disinfection"): the active target, the
// autostart entries, services and processes, the three user folders where malware
// most often sits, the integrity check, and a count of what it contained.

// The body of "disinfect-pass". A stop meant for a visible scan does not cut it
// short; the program's end does, and the pass then says it stopped.
void RunDisinfectionPass();
