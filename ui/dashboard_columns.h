#pragma once
// The main dashboard's three columns: rail, hero, and actions with the activity list.

void DrawRail();
void DrawHero();
void DrawActions();
