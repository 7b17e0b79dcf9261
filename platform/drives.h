#pragma once
// Logical drives: which letters exist, what kind of drive each is, whether its
// volume can be read.
#include <cstdint>
#include <string>

namespace platform {

// Drive types as GetDriveTypeW reports them.
constexpr uint32_t kDriveUnknown = 0;
constexpr uint32_t kDriveNoRootDir = 1;
constexpr uint32_t kDriveRemovable = 2;
constexpr uint32_t kDriveFixed = 3;
constexpr uint32_t kDriveRemote = 4;
constexpr uint32_t kDriveCdRom = 5;
constexpr uint32_t kDriveRamDisk = 6;

// The bit mask of existing drive letters (bit 0 = A), as GetLogicalDrives gives it.
uint32_t LogicalDriveMask();

// The type of the drive whose root is given ("E:\").
uint32_t DriveTypeOf(const std::wstring& root);

// True when the volume answers a volume-information query (a medium is present and
// readable); false for an empty card reader, a locked volume, a drive that went away.
bool VolumeIsReady(const std::wstring& root);

// Opens a raw volume ("\\.\C:") for reading only, without buffering, asks it for
// its drive geometry and closes it; false when it cannot be opened. Nothing is written.
bool ProbeRawVolume(const std::wstring& device);

}  // namespace platform
