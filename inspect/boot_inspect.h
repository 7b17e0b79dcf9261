#pragma once
// Read-only checks of what Windows needs to start. Nothing is deleted, moved or
// rewritten: findings are reported, repair is left to the official tools.

// The step "boot-inspect": files directly in C:\, C:\boot and C:\EFI that look
// boot-related (.efi, .sys, .bin, or "boot"/"grub" in the name) but are not Windows'
// own are reported for review.
void InspectBootFolders();

// The step "driver-inspect": reports which of six core inbox drivers are missing,
// then one closing line that points to SFC / DISM or says they are present.
void InspectInboxDrivers();
