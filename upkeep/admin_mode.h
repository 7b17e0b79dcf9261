#pragma once
// Whether the program runs with machine-wide rights.
#include <atomic>

// False until the start-up step "admin-check" decides.
extern std::atomic<bool> AdminMode;
