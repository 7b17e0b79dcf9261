#pragma once
// The main thread's loop while the window exists.

// Pumps messages and draws frames until WM_QUIT: about 8 frames/s when idle,
// vertical blank plus 50 ms while a scan or its overlay is on screen, and one
// wake-up per second or per message while hidden.
void FrameLoop();

// True when the frame may use idle pacing: no scan and the overlay has faded out.
bool FrameIsIdle();

// The shutdown sequence after WM_QUIT; returns the exit code 0.
int ShutdownAfterQuit();
