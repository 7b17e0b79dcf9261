#include "platform/drives.h"

#include <cwctype>

#include "platform/standin/machine.h"

namespace standin {

void SetDriveType(wchar_t letter, uint32_t type) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().drive_states[static_cast<wchar_t>(towupper(letter))].type = type;
}

void SetDriveReady(wchar_t letter, bool ready) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().drive_states[static_cast<wchar_t>(towupper(letter))].ready = ready;
}

void SetRawVolumeOpens(bool opens) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().raw_volume_opens = opens;
}

}  // namespace standin

namespace platform {

namespace {
// The mapped drive's upper-case letter of a root such as "E:\", or 0.
wchar_t MappedLetter(const std::wstring& root) {
  if (root.size() < 2 || root[1] != L':') return 0;
  const wchar_t letter = static_cast<wchar_t>(towupper(root[0]));
  const auto& drives = standin::TheMachine().drives;
  return drives.find(letter) == drives.end() ? 0 : letter;
}
}  // namespace

uint32_t LogicalDriveMask() {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  uint32_t mask = 0;
  for (const auto& [letter, host] : standin::TheMachine().drives) {
    if (letter >= L'A' && letter <= L'Z') mask |= 1u << (letter - L'A');
  }
  return mask;
}

uint32_t DriveTypeOf(const std::wstring& root) {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  const wchar_t letter = MappedLetter(root);
  if (letter == 0) return kDriveNoRootDir;
  return standin::TheMachine().drive_states[letter].type;
}

bool VolumeIsReady(const std::wstring& root) {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  const wchar_t letter = MappedLetter(root);
  return letter != 0 && standin::TheMachine().drive_states[letter].ready;
}

bool ProbeRawVolume(const std::wstring& device) {
  standin::Note("ProbeRawVolume " + standin::Narrow(device));
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  return standin::TheMachine().raw_volume_opens;
}

}  // namespace platform
