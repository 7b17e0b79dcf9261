#pragma once
// A look at the neighbours of a file just found malicious: droppers leave company.
#include <string>

constexpr int kDropperRescanFiles = 49;

// Scans up to 49 other regular files of the file's folder, without recursion, in the
// listing's order; never the file itself nor anything in the quarantine folder.
void RescanDropperFolder(const std::wstring& file_path);

// RescanDropperFolder as the guarded step "dropper-rescan", one level deep: a request
// made on a thread that is already inside a rescan is dropped without a word, so a
// file found during a rescan never starts another. True when the rescan ran.
bool RescanDropperFolderOnce(const std::wstring& file_path);
