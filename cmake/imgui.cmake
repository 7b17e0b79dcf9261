# Dear ImGui from Debian's source package, unpacked by tools/setup.sh.
set(KAV_IMGUI_DIR "${CMAKE_SOURCE_DIR}/build/third_party/imgui" CACHE PATH "Dear ImGui source folder")
if(NOT EXISTS "${KAV_IMGUI_DIR}/imgui.h")
  message(FATAL_ERROR "Dear ImGui not found in ${KAV_IMGUI_DIR}: run tools/setup.sh first")
endif()

add_library(imgui STATIC
  ${KAV_IMGUI_DIR}/imgui.cpp
  ${KAV_IMGUI_DIR}/imgui_draw.cpp
  ${KAV_IMGUI_DIR}/imgui_tables.cpp
  ${KAV_IMGUI_DIR}/imgui_widgets.cpp)
target_include_directories(imgui SYSTEM PUBLIC ${KAV_IMGUI_DIR})
target_compile_options(imgui PRIVATE -w)
if(NOT WIN32)
  # The native tests drive real frames and find widgets through the library's item hooks.
  target_compile_definitions(imgui PUBLIC IMGUI_ENABLE_TEST_ENGINE)
endif()

if(WIN32)
  add_library(imgui_win32_dx11 STATIC
    ${KAV_IMGUI_DIR}/backends/imgui_impl_win32.cpp
    ${KAV_IMGUI_DIR}/backends/imgui_impl_dx11.cpp)
  target_include_directories(imgui_win32_dx11 SYSTEM PUBLIC ${KAV_IMGUI_DIR}/backends)
  # Direct3D, the shader compiler and DWM are not KnownDLLs: delay-loaded from System32.
  target_link_libraries(imgui_win32_dx11 PUBLIC imgui kav_delay_imports gdi32 imm32)
endif()
