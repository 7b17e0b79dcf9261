#pragma once
// The Run and RunOnce values: the autostart points cleaned after a threat and
// consulted by the engine.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

struct AutostartLocation {
  platform::RegistryHive hive;
  const wchar_t* key;
  const wchar_t* label;
};

// The most data read of one Run value: the longest command line Windows starts
// (32,767 characters and the terminator). A longer value starts nothing.
constexpr std::size_t kRunValueMaxBytes = 65536;

// HKCU Run, HKCU RunOnce, HKLM Run, HKLM RunOnce, always in this order.
const std::vector<AutostartLocation>& AutostartLocations();

// The program path of a command line: the text inside leading double quotes,
// else the text before the first blank, else the whole text.
std::wstring ExtractExecutablePath(std::wstring_view command_line);

// Registry data taken as a wide string up to its first NUL, never beyond the bytes read.
std::wstring RegistryDataText(const std::string& data);

// True when a Run value's lower-cased program path names a program of the same file
// name as the lower-cased target (whole path components) inside a user folder: a
// candidate copy of the target dropped elsewhere.
bool IsSameNameInUserFolder(const std::wstring& program_lowered, const std::wstring& target_lowered);

// Removes the Run and RunOnce values that would start the target, or a copy of it
// dropped under the same name in a user folder (same SHA-256 as the target, or a
// program that no longer exists): another application's own updater of the same name
// keeps its logon start. An empty target removes nothing.
void RemoveRunValuesFor(const std::wstring& target_path);

// The same with the target's SHA-256 taken beforehand, for a target already moved or
// deleted ("" = unknown: an existing same-named copy keeps its value).
void RemoveRunValuesFor(const std::wstring& target_path, const std::wstring& target_hash);

// True when a Run or RunOnce value's whole command line names the path (machine-wide
// keys only in admin mode).
bool IsReferencedByRunKey(const std::wstring& path);
