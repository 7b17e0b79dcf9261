#pragma once
// Win32 services: the walk over their program paths and the stop of those that run a file.
#include <cstdint>
#include <functional>
#include <string>

using ServiceVisitor = std::function<void(const std::wstring& name, const std::wstring& image_path,
                                          const std::function<bool()>& stop)>;

// Every Win32 service with an image path, opened with the given access.
void ForEachServiceImage(uint32_t access, const ServiceVisitor& visit);

// True when a program path and a target name one another: equal, or one is the
// other's trailing part starting at a path component (a bare "evil.exe" names
// "c:\users\bob\downloads\evil.exe", but "a.exe" never names "data.exe"), or the
// target is the program path's trailing whole components ("\\?\c:\x.exe" names
// "c:\x.exe", "c:\vendor\svc.exe" never names "c:\vend"). Both lower-cased, environment
// strings expanded; an empty program never.
bool ProgramNamesTarget(const std::wstring& program, const std::wstring& target);

// The lower-cased program path of a command line (a Run value, a service's image path)
// with its environment strings expanded, as ProgramNamesTarget compares it.
std::wstring ProgramPathOf(const std::wstring& command_line);

// Sends the stop control to every Win32 service whose program is the target (admin
// mode only; the body of "service-stop"). An empty target stops nothing.
void StopServicesFor(const std::wstring& target_path);
