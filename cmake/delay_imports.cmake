# Delay-import libraries for the system libraries that are not KnownDLLs.
# Windows resolves a normal import of such a library by searching the program's
# own folder first, so a DLL of that name planted beside KestruneAV.exe (run
# elevated from Downloads, say) would be loaded. Linked through these libraries
# instead, each one is loaded on its first call by platform/win32/delay_load.cpp,
# from System32 only. cmake/delayload/<dll>.def lists the functions we call; a new
# call into one of these libraries fails to link until it is added there.
#
# kav_delay_imports: link it instead of the libraries' ordinary import libraries.
set(KAV_DELAY_DLLS bcrypt d3d11 d3dcompiler_47 dwmapi pdh rasapi32 wintrust wlanapi)

if(CMAKE_DLLTOOL)
  set(KAV_DLLTOOL ${CMAKE_DLLTOOL})
else()
  find_program(KAV_DLLTOOL NAMES x86_64-w64-mingw32-dlltool REQUIRED)
endif()

set(KAV_DELAY_LIB_DIR ${CMAKE_BINARY_DIR}/delayload)
file(MAKE_DIRECTORY ${KAV_DELAY_LIB_DIR})
set(KAV_DELAY_LIBS)
foreach(dll IN LISTS KAV_DELAY_DLLS)
  set(def ${CMAKE_SOURCE_DIR}/cmake/delayload/${dll}.def)
  set(lib ${KAV_DELAY_LIB_DIR}/lib${dll}_delay.a)
  # Run in the output folder: dlltool names the thunks' symbols after the path it
  # is given, and the binary should not depend on where it was built.
  add_custom_command(OUTPUT ${lib}
    COMMAND ${KAV_DLLTOOL} --machine i386:x86-64 --input-def ${def} --dllname ${dll}.dll
            --output-delaylib lib${dll}_delay.a
    WORKING_DIRECTORY ${KAV_DELAY_LIB_DIR}
    DEPENDS ${def}
    COMMENT "Delay-import library for ${dll}.dll"
    VERBATIM)
  list(APPEND KAV_DELAY_LIBS ${lib})
endforeach()
add_custom_target(kav_delay_libs DEPENDS ${KAV_DELAY_LIBS})

# The helper the delay-import thunks call; as objects, so that the link takes it
# before the MinGW runtime's own helper, which searches the program's folder.
add_library(kav_delay_load OBJECT ${CMAKE_SOURCE_DIR}/platform/win32/delay_load.cpp)
target_compile_definitions(kav_delay_load PRIVATE UNICODE _UNICODE _WIN32_WINNT=0x0A00 WIN32_LEAN_AND_MEAN)
target_compile_options(kav_delay_load PRIVATE -Wall -Wextra)
add_dependencies(kav_delay_load kav_delay_libs)

add_library(kav_delay_imports INTERFACE)
target_link_libraries(kav_delay_imports INTERFACE $<TARGET_OBJECTS:kav_delay_load> ${KAV_DELAY_LIBS})
add_dependencies(kav_delay_imports kav_delay_load)
