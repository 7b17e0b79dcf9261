// Boot-related files at the top of the system drive, and the core inbox drivers.
#include "inspect/boot_inspect.h"
#include "scan_fixture.h"

class BootInspectTest : public ScanTest {};

TEST_F(BootInspectTest, ReportsThirdPartyBootFilesAndPassesOverWindowsOwn) {
  for (const wchar_t* file : {L"C:\\grubx64.efi", L"C:\\EFI\\shim.efi", L"C:\\boot\\memtest.bin", L"C:\\bootkit.dat",
                              L"C:\\driver.sys", L"C:\\pagefile.sys", L"C:\\bootmgr", L"C:\\BOOTNXT",
                              L"C:\\boot\\BCD", L"C:\\EFI\\Microsoft\\Boot\\bootmgfw.efi", L"C:\\readme.txt"}) {
    PutFile(file, "bytes");
  }
  InspectBootFolders();
  std::vector<std::wstring> noted;
  for (const auto& line : ActivityLines()) {
    const std::wstring tag = L"[BOOT] Third-party boot-related file noted (not deleted): ";
    if (line.rfind(tag, 0) == 0) noted.push_back(line.substr(tag.size()));
  }
  EXPECT_EQ(noted, (std::vector<std::wstring>{L"C:\\bootkit.dat", L"C:\\driver.sys", L"C:\\grubx64.efi",
                                               L"C:\\boot\\memtest.bin", L"C:\\EFI\\shim.efi"}));
  EXPECT_EQ(CountLines(L"Third-party boot file flagged, not removed"), 5);
  EXPECT_EQ(ActivityLines()[1], L"Third-party boot file flagged, not removed");
  EXPECT_EQ(ThreatState.load(), 1);
  EXPECT_EQ(ActiveTarget, L"C:\\EFI\\shim.efi");
  EXPECT_EQ(HostBytes(L"C:\\grubx64.efi"), "bytes");  // never touched
}

TEST_F(BootInspectTest, MissingRootsAreSilentAndABrokenListingEndsTheStep) {
  InspectBootFolders();  // no C:\boot, no C:\EFI
  EXPECT_TRUE(ActivityLines().empty());

  PutFile(L"C:\\boot\\memtest.bin", "x");
  PutFile(L"C:\\EFI\\shim.efi", "x");
  standin::FailLibraryListing(L"C:\\boot", 0);
  EXPECT_FALSE(RunGuarded(L"boot-inspect", InspectBootFolders));
  EXPECT_EQ(CountLines(L"[BOOT] "), 0);  // C:\EFI comes after and is left out
  EXPECT_EQ(CountLines(L"[FAULT] boot-inspect recovered: "), 1);
}

TEST_F(BootInspectTest, InboxDriversEitherPresentOrPointedToSfc) {
  const std::wstring drivers = L"C:\\Windows\\System32\\drivers\\";
  for (const wchar_t* name : {L"ntfs.sys", L"disk.sys", L"tcpip.sys", L"acpi.sys", L"http.sys", L"pci.sys"}) {
    PutFile(drivers + name, "MZ");
  }
  InspectInboxDrivers();
  EXPECT_EQ(ActivityLines(), std::vector<std::wstring>{L"[REPAIR] Core inbox driver files are present. Use SFC if "
                                                       L"Windows still reports driver errors."});

  ResetActivityState();
  std::filesystem::remove(standin::HostPath(drivers + L"tcpip.sys"));
  std::filesystem::remove(standin::HostPath(drivers + L"pci.sys"));
  InspectInboxDrivers();
  EXPECT_EQ(ActivityLines(),
            (std::vector<std::wstring>{
                L"[REPAIR] Missing inbox driver file: C:\\Windows\\System32\\drivers\\tcpip.sys",
                L"[REPAIR] Missing inbox driver file: C:\\Windows\\System32\\drivers\\pci.sys",
                L"[REPAIR] Missing inbox drivers should be restored with SFC / DISM, not by copying random .sys files.",
            }));

  // A file the system will not answer for is named as such, and the rest are checked.
  ResetActivityState();
  standin::FailPath(drivers + L"disk.sys", 5);
  InspectInboxDrivers();
  EXPECT_EQ(ActivityLines(),
            (std::vector<std::wstring>{
                L"[REPAIR] Inbox driver file could not be checked: C:\\Windows\\System32\\drivers\\disk.sys "
                L"(file system error 5 on C:\\Windows\\System32\\drivers\\disk.sys)",
                L"[REPAIR] Missing inbox driver file: C:\\Windows\\System32\\drivers\\tcpip.sys",
                L"[REPAIR] Missing inbox driver file: C:\\Windows\\System32\\drivers\\pci.sys",
                L"[REPAIR] Missing inbox drivers should be restored with SFC / DISM, not by copying random .sys files.",
            }));
}
