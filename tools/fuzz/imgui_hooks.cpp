// The native build's GUI library calls these item hooks (the dashboard tests record
// widgets through them); the fuzz targets draw nothing, so they do nothing.
#include <imgui.h>
#include <imgui_internal.h>

void ImGuiTestEngineHook_ItemAdd(ImGuiContext*, const ImRect&, ImGuiID) {}
void ImGuiTestEngineHook_ItemInfo(ImGuiContext*, ImGuiID, const char*, ImGuiItemStatusFlags) {}
void ImGuiTestEngineHook_Log(ImGuiContext*, const char*, ...) {}
const char* ImGuiTestEngine_FindItemDebugLabel(ImGuiContext*, ImGuiID) { return nullptr; }
