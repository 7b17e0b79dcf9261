#pragma once
// The shield emblem of the overlay and the hero.

struct ImDrawList;

// A hexagonal shield centred at (cx, cy) of size r: white, or while a scan is shown
// a near-black shield with a white level rising with fill (0 to 1); an accent stroke,
// then a check mark, or the percentage while a scan runs.
void DrawShieldEmblem(ImDrawList* draw, float cx, float cy, float r, float fill);
