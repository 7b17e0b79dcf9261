#pragma once
// The quarantine store.
#include <string>

// Moves a file or folder into the quarantine folder; false when nothing was moved.
bool QuarantineFile(const std::wstring& path);
