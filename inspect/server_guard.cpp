#include "inspect/server_guard.h"

void ServerProtectionCheck() {}
