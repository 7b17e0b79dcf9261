#pragma once
// Drives real dashboard frames headless: a GUI library context with a built font
// atlas and no renderer, simulated mouse input, and what each frame showed.
#include <imgui.h>

#include <string>

class GuiDriver {
 public:
  GuiDriver();
  ~GuiDriver();

  // One frame of the dashboard; returns the text it showed, one rendered item per line.
  const std::string& Frame();
  // Clicks the widget with this label (as shown in the last frame): press, then release.
  bool Click(const std::string& label);
  // True when the last frame had a widget with this label.
  bool HasWidget(const std::string& label) const;
  // True when the last frame showed this text.
  bool Shows(const std::string& text) const { return text_.find(text) != std::string::npos; }
  // Turns the mouse wheel over the child window whose name contains the part.
  bool Wheel(const std::string& window_part, float steps);
  // Scroll position and its end of the child window whose name contains the part.
  bool ScrollOf(const std::string& name_part, float& y, float& max) const;
  // The rectangle of the window whose name contains the part (child windows too).
  bool WindowRect(const std::string& name_part, ImVec2& min, ImVec2& max) const;
  // The highest alpha among the last frame's vertices of this opaque colour in the
  // window of this name or the child window of this label; -1 when none has it.
  int MaxAlphaOf(const std::string& window, ImU32 opaque_colour) const;
  // The last frame's rectangle of a widget, when it had one.
  bool RectOf(const std::string& label, ImVec2& min, ImVec2& max) const;

 private:
  void OneFrame();
  std::string text_;
};
