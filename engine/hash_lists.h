#pragma once
// SHA-256 of files and the two local hash lists: confirmed bad files and files the
// user declared safe. Every lookup is local; nothing asks a network service.
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>

// The file's SHA-256 as 64 lower-case hex digits; "" when it cannot be computed.
std::wstring ComputeFileSha256(const std::wstring& path);

// A file that shares a flagged file's name is that file's copy when it is gone
// (dropped and since removed) or holds the very same bytes (SHA-256 equal to `hash`,
// never when that is empty); a status that cannot be read is neither.
bool IsCopyOrGone(const std::wstring& path, const std::wstring& hash);

struct FilePass;
// The hash a pass computed, with the fault line when the pass could not hash.
std::wstring HashFromPass(const std::wstring& path, const FilePass& pass);

// Lower-case hex of raw bytes.
std::wstring HexOf(std::string_view bytes);

// How much of each list is read: far more than any real list (a line is 66 bytes),
// little enough that a planted giant file cannot exhaust memory.
constexpr std::size_t kBadHashListBytes = 16u << 20;
constexpr std::size_t kSafeHashListBytes = 8u << 20;

// The entries of a bad-hash list text: 64-character lines not starting with "#",
// lower-cased.
std::unordered_set<std::wstring> ParseBadHashList(std::string_view text);

// A hash list as read: at most max_bytes, CR LF turned into LF, and only whole lines
// when the read stopped early, at the bound (cut) or at a read error (whole false:
// the lines before the error are kept). A list that cannot be opened is not whole
// either, unless it is simply not there (missing).
struct HashListText {
  std::string text;
  bool whole = true;
  bool cut = false;
  bool missing = false;
};
HashListText ReadHashList(const std::wstring& path, std::size_t max_bytes);

// Path of the bad-hash list: DataDir + "\bad-hashes.txt", or the bare name.
std::wstring BadHashesPath();

// Creates a missing engine marker and list file, then rebuilds the bad-hash set
// from the list and logs its size. A list that cannot be read to its end is a fault
// line, and the set keeps what it held (a reload) together with the lines read
// before the error. Never throws.
void LoadBadHashes();

// Replaces the bad-hash set as a whole (readers see the old or the new one).
void ReplaceBadHashes(std::unordered_set<std::wstring> hashes);

// Membership in the bad-hash set; safe while a reload runs.
bool IsBadHash(const std::wstring& hash);
std::size_t BadHashCount();

// True when the safe list holds anything in either form.
bool AnySafeHashes();

// The user's safe list, in its wide form (guarded by SafeHashMutex) and its narrow
// form (low byte of each character), filled together.
extern std::mutex SafeHashMutex;

// Adds every non-empty line of the file to both forms; of a file that cannot be read
// to its end, the lines before the error, with a fault line. False in that case.
bool LoadSafeHashes(const std::wstring& path);

// Adds a hash to both forms and, when it is new, appends it to safe-hashes.txt.
void AddSafeHash(const std::wstring& hash);

// Membership in the wide form; false for "".
bool IsSafeHash(const std::wstring& hash);

// Membership in the narrow form.
bool IsSafeHashNarrow(const std::string& hash8);

// Empties both lists (tests only).
void ResetHashListsForTest();
