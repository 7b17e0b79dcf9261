#pragma once
// Which kind of Windows this is.
#include <cstdint>
#include <string>

enum OsClassValue : int32_t { kOsWorkstation = 0, kOsWindows11 = 1, kOsServer = 2, kOsUnknown = 3 };

struct OsProfileData {
  int32_t OsClass = kOsUnknown;
  bool IsWorkstation = true;
  uint32_t BuildNumber = 0;
  char OsProfileText[80] = "Windows";
};

extern OsProfileData OsProfile;

// The class for a build and product type.
int32_t OsClassFor(uint32_t build, bool workstation);

// The profile text, e.g. "Windows 10  build 19045" (two blanks before "build").
std::string OsProfileTextFor(uint32_t build, bool workstation);

// Fills OsProfile from the running system; idempotent.
void DetectOsProfile();
