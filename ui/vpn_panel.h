#pragma once
// The VPN panel over the dial-up profiles Windows holds.
#include <string>

extern bool VpnPanelOpen;
extern bool VpnConnected;
extern std::wstring VpnStatusText;

// Draws the panel inside the dashboard window.
void DrawVpnPanel();
