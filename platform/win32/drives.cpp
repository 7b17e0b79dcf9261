#include "platform/drives.h"

#include <windows.h>
#include <winioctl.h>

#include "platform/win32/handles.h"

namespace platform {

namespace {
// Keeps "There is no disk in the drive" boxes away while an empty reader is asked,
// and gives the thread back its own mode afterwards.
class QuietCriticalErrors {
 public:
  QuietCriticalErrors() { SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &saved_); }
  ~QuietCriticalErrors() { SetThreadErrorMode(saved_, nullptr); }
  QuietCriticalErrors(const QuietCriticalErrors&) = delete;
  QuietCriticalErrors& operator=(const QuietCriticalErrors&) = delete;

 private:
  DWORD saved_ = 0;
};
}  // namespace

uint32_t LogicalDriveMask() { return GetLogicalDrives(); }

uint32_t DriveTypeOf(const std::wstring& root) { return GetDriveTypeW(root.c_str()); }

bool VolumeIsReady(const std::wstring& root) {
  const QuietCriticalErrors quiet;
  wchar_t volume_name[MAX_PATH + 1];
  return GetVolumeInformationW(root.c_str(), volume_name, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr, 0) != 0;
}

bool ProbeRawVolume(const std::wstring& device) {
  const win32::UniqueHandle volume = win32::OwnFileHandle(
      CreateFileW(device.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_NO_BUFFERING | FILE_FLAG_RANDOM_ACCESS, nullptr));
  if (!volume) return false;
  DISK_GEOMETRY geometry{};
  DWORD returned = 0;
  // Only whether the volume opens counts; the geometry just touches it.
  DeviceIoControl(volume.get(), IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry, sizeof(geometry), &returned,
                  nullptr);
  return true;
}

}  // namespace platform
