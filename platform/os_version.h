#pragma once
// What Windows this is.
#include <cstdint>

namespace platform {

// The build number the kernel reports, 0 when it cannot be asked.
uint32_t OsBuildNumber();

// True on a workstation product, false on a server product.
bool OsIsWorkstation();

}  // namespace platform
