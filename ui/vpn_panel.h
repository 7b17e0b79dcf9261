#pragma once
// The VPN panel over the remote-access entries Windows already holds: the program
// keeps no VPN client, servers or credentials; it dials a phone-book entry by name
// with the system's dialler, or opens the system's VPN settings.
#include <atomic>
#include <cstdint>
#include <string>

extern bool VpnPanelOpen;
extern std::atomic<bool> VpnConnected;  // a dial was started; only changes the button's label
extern std::wstring VpnStatusText;      // shown in the panel, at most 127 characters
extern int32_t VpnCountryIndex;
extern int32_t LastSpot;

constexpr int kVpnCountryCount = 5;
extern const char* const kVpnCountries[kVpnCountryCount];

// Draws the panel inside the dashboard window (main thread).
void DrawVpnPanel();

// A city of the chosen country, never the one picked last, as "Spot: <country> / <city>".
void PickRandomSpot();

// Dials "KestruneVPN_" + country, else the phone book's first entry (never one whose
// name begins with a switch character or holds a control character), with the system
// folder's rasdial.exe; else shows where to add a profile: rasphone.exe before
// Windows 10, the VPN settings page in user mode, a status naming that page in admin
// mode. True when a dial was started.
bool ConnectVpn(const std::string& country);

// Hangs up every connection the dialler made (the system folder's rasdial.exe /disconnect).
void DisconnectVpn();
