#pragma once
// The wireless connection, held while a threat is dealt with.
#include <string>

namespace platform {

// Opens a WLAN client (version 2), disconnects the first connected interface and
// gives the profile it was connected with and the interface's GUID (both empty when
// no interface was connected or the connection could not be read), then closes the
// client. False when no WLAN client could be opened (no WLAN service).
bool WlanDisconnectFirstConnected(std::wstring& profile, std::wstring& interface_guid);

// Opens a WLAN client and closes it at once; false when it cannot be opened.
bool WlanOpenAndClose();

}  // namespace platform
