#include "app/os_profile.h"

#include <cstdio>
#include <cstring>

#include "platform/os_version.h"

OsProfileData OsProfile;

int32_t OsClassFor(uint32_t build, bool workstation) {
  if (!workstation) return kOsServer;
  return build >= 22000 ? kOsWindows11 : kOsWorkstation;
}

std::string OsProfileTextFor(uint32_t build, bool workstation) {
  const char* name = "Windows 7";
  if (!workstation) {
    name = "Windows Server";
  } else if (build >= 22000) {
    name = "Windows 11";
  } else if (build >= 10240) {
    name = "Windows 10";
  } else if (build >= 9600) {
    name = "Windows 8.1";
  } else if (build >= 9200) {
    name = "Windows 8";
  }
  char text[80];
  std::snprintf(text, sizeof text, "%s  build %u", name, build);
  return text;
}

void DetectOsProfile() {
  const uint32_t build = platform::OsBuildNumber();
  const bool workstation = platform::OsIsWorkstation();
  OsProfile.BuildNumber = build;
  OsProfile.IsWorkstation = workstation;
  OsProfile.OsClass = OsClassFor(build, workstation);
  const std::string text = OsProfileTextFor(build, workstation);
  std::snprintf(OsProfile.OsProfileText, sizeof OsProfile.OsProfileText, "%s", text.c_str());
}
