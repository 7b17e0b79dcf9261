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
// target lies inside the program's text. Both lower-cased; an empty program never.
bool ProgramNamesTarget(const std::wstring& program, const std::wstring& target);

// Sends the stop control to every Win32 service whose program is the target (admin
// mode only; the body of "service-stop"). An empty target stops nothing.
void StopServicesFor(const std::wstring& target_path);
