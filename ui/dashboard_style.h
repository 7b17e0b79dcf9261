#pragma once
// The dashboard's look on top of the library's dark style.

// Applies the spacing, rounding and colours once; later calls do nothing.
void ApplyDashboardStyle();

// Allows the style to be applied again (tests only).
void ResetDashboardStyleForTest();
