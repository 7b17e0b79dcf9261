#include "upkeep/admin_mode.h"

std::atomic<bool> AdminMode{false};
