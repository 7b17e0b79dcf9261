#pragma once
// The scan overlay: the rising shield while a visible scan runs or fades out.

// Draws the overlay at the window's position and size.
void DrawScanOverlay(float x, float y, float width, float height);
