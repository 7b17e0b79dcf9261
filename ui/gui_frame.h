#pragma once
// The GUI library's life cycle and one dashboard frame.
#include <functional>

// Checks the compiled-in library, creates its context with no settings file and
// the dark style, and starts the back ends.
void InitGuiLibrary();

// Stops the back ends and destroys the context.
void ShutdownGuiLibrary();

// Starts a frame, draws the dashboard as the guarded step "gui-frame" and ends
// the frame; a fault in the drawing is logged and the frame still completes.
void DrawGuiFrame(const std::function<void()>& draw_dashboard);

// Renders the frame and presents it, waiting for vertical blank when vsync is set.
void PresentGuiFrame(bool vsync);
