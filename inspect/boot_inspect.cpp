#include "inspect/boot_inspect.h"

#include <algorithm>
#include <string>

#include "app/activity_log.h"
#include "app/scan_state.h"
#include "engine/path_classes.h"
#include "inspect/existence.h"
#include "platform/files.h"

namespace {
const wchar_t* const kBootRoots[] = {L"C:\\", L"C:\\boot", L"C:\\EFI"};

// Windows' own files at the top of the system drive.
const wchar_t* const kKnownWindowsNames[] = {L"bootmgr",      L"bootnxt",      L"bootstat.dat", L"pagefile.sys",
                                             L"hiberfil.sys", L"swapfile.sys", L"bootsect.bak"};

const wchar_t* const kInboxDrivers[] = {
    L"C:\\Windows\\System32\\drivers\\ntfs.sys",  L"C:\\Windows\\System32\\drivers\\disk.sys",
    L"C:\\Windows\\System32\\drivers\\tcpip.sys", L"C:\\Windows\\System32\\drivers\\acpi.sys",
    L"C:\\Windows\\System32\\drivers\\http.sys",  L"C:\\Windows\\System32\\drivers\\pci.sys"};

bool IsKnownWindowsName(const std::wstring& name) {
  return std::any_of(std::begin(kKnownWindowsNames), std::end(kKnownWindowsNames),
                     [&name](const wchar_t* known) { return name == known; });
}

bool LooksBootRelated(const std::wstring& path) {
  const std::wstring name = ToLowerAscii(FileNameOf(path));
  if (IsKnownWindowsName(name)) return false;
  const std::wstring extension = ToLowerAscii(ExtensionOf(path));
  if (extension == L".efi" || extension == L".sys" || extension == L".bin") return true;
  return name.find(L"boot") != std::wstring::npos || name.find(L"grub") != std::wstring::npos;
}

void NoteBootFile(const std::wstring& path) {
  AppendActivity(L"[BOOT] Third-party boot-related file noted (not deleted): " + path);
  ThreatState.store(1);
  UpdateStatus(L"Third-party boot file flagged, not removed", path);
}
}  // namespace

void InspectBootFolders() {
  for (const wchar_t* root : kBootRoots) {
    platform::FileInfo info;
    if (!platform::QueryFileInfo(root, info)) continue;
    // Only direct entries; links and folders are not examined, nothing is opened.
    platform::VisitFolderThroughLibrary(root, [](const platform::LibraryEntry& entry) {
      if (!entry.is_regular_file || entry.is_link || IsWindowsCorePath(entry.path)) return;
      if (LooksBootRelated(entry.path)) NoteBootFile(entry.path);
    });
  }
}

void InspectInboxDrivers() {
  int missing = 0;
  for (const wchar_t* driver : kInboxDrivers) {
    const Existence file = TestExistence(driver);
    if (!file.known) {
      // One file the system will not answer for does not end the check of the others.
      AppendActivity(std::wstring(L"[REPAIR] Inbox driver file could not be checked: ") + driver + L" (" +
                     file.failure + L")");
      continue;
    }
    if (file.exists) continue;
    AppendActivity(std::wstring(L"[REPAIR] Missing inbox driver file: ") + driver);
    ++missing;
  }
  AppendActivity(missing != 0
                     ? L"[REPAIR] Missing inbox drivers should be restored with SFC / DISM, not by copying random .sys "
                       L"files."
                     : L"[REPAIR] Core inbox driver files are present. Use SFC if Windows still reports driver errors.");
}
