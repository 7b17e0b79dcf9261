#pragma once
// A plain window that lists the activity log, oldest first.

void DrawActivityWindow();
