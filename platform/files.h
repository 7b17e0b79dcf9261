#pragma once
// Files and folders, addressed by Windows-form wide paths ("C:\KestruneAV\x.txt").
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// True for the error codes that mean "it is not there": file or path not found,
// bad network path, network name deleted, invalid name, bad path name, not a directory.
bool IsNotFoundError(uint32_t code);

// True when the path names an existing file or folder, false for the "not found"
// family; any other error throws std::runtime_error.
bool PathExists(const std::wstring& path);

// Creates the folder and every missing parent; false when it does not exist afterwards.
// Only for the data folder's own parents (a known folder) and inside the data folder.
bool MakeDirectories(const std::wstring& path);

// Who may use a data folder besides SYSTEM and Administrators: nobody (the folder of
// an elevated run, which unelevated programs must neither read nor steer), or also the
// user who runs the program (the folder of a run that is not elevated).
enum class FolderAudience { AdministratorsOnly, AdministratorsAndUser };

// What MakeGuardedFolder found at a data folder's path.
enum class GuardedFolder {
  Ready,       // a real folder whose owner and list admit nobody but the audience
  IsLink,      // a symbolic link, junction or other reparse point: refused and left as it is
  NotGuarded,  // a real folder whose access list could not be made so (the file system keeps none)
  MovedAside,  // another account's folder: moved aside whole, and a fresh one made in its place
  Untrusted,   // another account's folder that could not be moved aside: refused
  Failed,      // missing, and could not be created
};

// Creates a folder of our own data (missing parents as MakeDirectories does) with a
// protected access list, inherited by everything made inside it: full control for
// SYSTEM and Administrators, and for the user too when the audience says so; nobody
// else may even read. An existing folder is opened itself, never through a link, and
// judged by the owner and list read from that handle. One the audience does not own
// alone is, for administrators, moved aside whole (what another account put inside
// is never trusted) and a fresh one made, the new name going to moved_to; for the
// user, it gets the owner and list put on it. A folder in use is kept open for the
// rest of the run without delete sharing, so that it cannot be renamed away and
// replaced.
GuardedFolder MakeGuardedFolder(const std::wstring& path, FolderAudience audience, std::wstring* moved_to = nullptr);

// Reads the whole file as bytes; false when it cannot be opened or read.
bool ReadFileBytes(const std::wstring& path, std::string& out);

// The writers below never follow a link at the path they write: a symbolic link or
// junction there, or a file with a second hard link, is refused (false), so that a
// link planted where this program writes cannot carry the bytes elsewhere.

// Replaces the file's content with the bytes; false when it cannot be written.
bool WriteFileBytes(const std::wstring& path, std::string_view bytes);

// Adds the bytes at the end of the file, creating it when missing; false on failure.
bool AppendFileBytes(const std::wstring& path, std::string_view bytes);

// Opens the file for reading, shared with other readers, writers and deleters, and
// hands its bytes to the visitor in chunks of at most chunk_bytes until the end of
// the file, a read error, or the visitor returns false. False when it cannot be opened
// or a read fails, so that callers who need every byte (hashing) can tell.
bool ReadFileInChunks(const std::wstring& path, std::size_t chunk_bytes,
                      const std::function<bool(std::string_view chunk)>& visit);

// One sequential pass over a file opened for reading as above, into the caller's
// buffer (kept from file to file, so that a scan allocates it once): each read
// fills at most buffer.size() bytes and goes to the visitor, until the end of the
// file, a read error or the visitor returns false. Returns 0 when the file opened,
// otherwise the Win32 error code of the failed open (5 for a folder); read_failed
// tells whether a read error ended the pass.
uint32_t ReadFileThrough(const std::wstring& path, std::string& buffer,
                         const std::function<bool(std::string_view chunk)>& visit, bool& read_failed);

// True when the file can be opened for reading, shared as above (closed again at once).
bool CanOpenForReading(const std::wstring& path);

// What the file system says of a path without opening it (GetFileAttributesExW).
struct FileInfo {
  bool is_directory = false;
  bool is_reparse_point = false;
  uint64_t size = 0;
  uint64_t last_write_time = 0;  // file-time ticks of 100 ns
};
bool QueryFileInfo(const std::wstring& path, FileInfo& info);

// The same of the file the path leads to: read through a handle opened on the path
// with links followed (no FILE_FLAG_OPEN_REPARSE_POINT), so that a symbolic link gives
// its target's kind, size and write time where QueryFileInfo gives the link's own
// (size 0). False when the path cannot be opened (a dangling link, say).
bool QueryFileInfoOfTarget(const std::wstring& path, FileInfo& info);

// Reads the first min(size, max_bytes) bytes of the file with ordinary reads (opened
// for reading, shared with other readers, writers and deleters) into head, and the
// file's size into file_size. False when the file cannot be opened or sized, is
// empty, or a read fails part-way (a medium that went away, a dropped share): every
// such failure is a read error, never a fault of the process.
bool ReadFileHead(const std::wstring& path, std::size_t max_bytes, std::string& head, uint64_t& file_size);

// One entry of a folder listing, with what the listing itself says of it, so that a
// walk never opens a file to decide whether to scan it. Links are not followed: a
// symbolic link or junction is a reparse point whose size and time are the link's.
struct FolderEntry {
  std::wstring name;
  bool is_directory = false;
  bool is_reparse_point = false;
  uint64_t size = 0;
  uint64_t last_write_time = 0;  // file-time ticks of 100 ns
};

// Hands the folder's entries (not "." and "..") to the visitor one by one, in the
// file system's order, until the end or the visitor returns false. Returns 0 when
// the listing ended or was stopped by the visitor, otherwise the Win32 error code of
// the failure (5 when the folder refuses access); a listing that breaks off part-way
// returns its error after the entries already handed over.
uint32_t VisitFolder(const std::wstring& folder, const std::function<bool(const FolderEntry& entry)>& visit);

// One entry of the standard file-system library's folder listing.
struct LibraryEntry {
  std::wstring path;             // the folder joined with the entry's name, as the library joins them
  bool is_regular_file = false;  // the entry's status (links followed) is a regular file
  bool is_link = false;          // the entry itself is a symbolic link
};

// Lists the folder's direct entries through the standard file-system library
// (std::filesystem::directory_iterator). MinGW's library lists over the same find
// interface as VisitFolder, so this is no second view of the folder: compare with
// VisitFolderNative for that. False, with no entries, when the folder cannot be
// opened; an error while advancing throws std::runtime_error after the entries
// already handed over.
bool VisitFolderThroughLibrary(const std::wstring& folder, const std::function<void(const LibraryEntry& entry)>& visit);

// Lists the folder through the native directory query (NtQueryDirectoryFile on the
// folder opened for listing), called straight from ntdll: a road apart from the find
// interface behind VisitFolder, so that a filter hooked into the find calls in this
// process cannot hide a name from both. Entries as VisitFolder hands them over (not
// "." and ".."; links not followed), with the same returns: 0 when the listing ended
// or the visitor stopped it, otherwise the Win32 error code, after the entries already
// handed over when it broke off part-way.
uint32_t VisitFolderNative(const std::wstring& folder, const std::function<bool(const FolderEntry& entry)>& visit);

// The whole listing at once; false when it cannot be listed or breaks off.
bool ListFolder(const std::wstring& folder, std::vector<FolderEntry>& entries);

// The lock probe: opens the file for reading, shared with readers, writers and
// deleters, and closes it at once. 0 when it opened, otherwise the Win32 error code
// (32 sharing violation, 33 lock violation, ...).
uint32_t ProbeOpenForReading(const std::wstring& path);

// Last write time and size of the file a path names, following symbolic links. Each
// field that cannot be read is left 0; false when neither could be read.
bool QueryFileStamp(const std::wstring& path, uint64_t& last_write_time, uint64_t& size);

// The path-based operations below (ReplaceFileWith to SetReadOnlyAttribute, and
// MakeDirectories) are for the program's own data folder only: in an elevated run it
// belongs to administrators alone and is held open for the run, so no unelevated
// program can redirect a path inside it. A path somebody else may control (a user
// folder, a removable drive, C:\) goes through platform/verified_files.h instead.

// Puts the replacement file in the target's place in one step, so that the target
// holds either its old content or the whole new one. An existing target keeps its
// attributes and security (ReplaceFileW); a missing one is simply created. The
// replacement is gone afterwards on success and left in place on failure. A target
// that is a link, or has a second hard link, is refused as the writers refuse it.
bool ReplaceFileWith(const std::wstring& target, const std::wstring& replacement);

// Deletes a file; true when it is gone afterwards (also when it was not there).
bool DeleteFileAt(const std::wstring& path);

// Moves a file (MoveFileW, never over an existing file; a folder only within its volume,
// and a move across volumes may fail); false on failure.
bool MoveFileTo(const std::wstring& from, const std::wstring& to);

// Copies a file with its attributes, replacing a file at the destination (CopyFileW);
// false on failure, also when the destination is read-only, a link or hard-linked.
bool CopyFileOver(const std::wstring& from, const std::wstring& to);

// Sets the file's attributes to normal, so that read-only, hidden and system files can go.
bool SetNormalAttributes(const std::wstring& path);

// Adds the read-only attribute (a read-only file cannot be replaced by a copy); false on failure.
bool SetReadOnlyAttribute(const std::wstring& path);

// One DeleteFileW; true only when that call succeeded.
bool DeleteFileOnce(const std::wstring& path);

// Free and total bytes of the volume that holds the path; false when unknown.
bool QueryFreeSpace(const std::wstring& path, uint64_t& free_bytes, uint64_t& total_bytes);

// The absolute form of a path typed by a user (GetFullPathNameW); the path itself on failure.
std::wstring FullPathOf(const std::wstring& path);

}  // namespace platform
