#pragma once
// Whether the program runs with machine-wide rights, the user's saved choice about
// it (admin_preference.txt: exactly "yes" or "no"), the first-run question and the
// elevated restart.
#include <atomic>
#include <string>

// False until the start-up step "admin-check" decides.
extern std::atomic<bool> AdminMode;

// The first line of the saved choice, without its line end; "" when missing or unreadable.
std::string SavedAdminChoice();

// The start-up step "admin-check", run again right after the terms are accepted: an
// administrator's run turns admin mode on and saves "yes"; otherwise a saved "no"
// stays in user mode, a saved "yes" restarts elevated, and with no choice yet the
// user is asked once (never while the terms are pending).
void CheckAdminMode();

// Restarts the program elevated ("runas"); on success this process ends with exit
// code 0. A declined or failed elevation is reported, saved as "no" and gives false.
bool RequestElevation();
