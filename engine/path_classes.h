#pragma once
// Where a file lies and what its name looks like: plain substring tests on a
// lower-cased copy of the full path.
#include <string>
#include <string_view>

#include "platform/files.h"

// Copy with "A" to "Z" lower-cased and every other character unchanged.
std::wstring ToLowerAscii(std::wstring_view text);
std::string ToLowerAscii(std::string_view text);

bool Contains(std::wstring_view text, std::wstring_view part);
bool EndsWith(std::wstring_view text, std::wstring_view suffix);

// The part after the last "\" or "/" (after a drive prefix such as "C:" when there is none).
std::wstring FileNameOf(std::wstring_view path);

// The extension with its dot, as the standard path library gives it: a leading dot
// does not count, "." and ".." have none, and a ":" ends the name (data streams).
std::wstring ExtensionOf(std::wstring_view path);

bool IsSystemLocation(std::wstring_view path);
bool IsUserWritableLocation(std::wstring_view path);
bool IsWindowsCorePath(std::wstring_view path);
// Also true for everything whose path begins with the quarantine folder, letter case aside.
bool IsExcludedFromScan(std::wstring_view path);
// System places and Windows folders at once; Microsoft folders only with a valid signature.
bool IsMicrosoftFile(const std::wstring& path);
// Not a partial download, exists, is a non-empty file and can be opened for reading;
// for a link, the file it leads to.
bool IsCompleteFile(const std::wstring& path);
// What the file system says of the file a path names, as the judgement needs it: a
// symbolic link's own status (size 0) would pass its file by, so for a file link the
// status is its target's, with is_reparse_point left set to say the path is a link.
// False when it cannot be had.
bool QueryJudgedFileInfo(const std::wstring& path, platform::FileInfo& info);
// The name tests of a complete file alone: no partial-download extension, and no
// ".crdownload" anywhere in the file name.
bool IsCompleteFileName(const std::wstring& path);
