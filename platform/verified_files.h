#pragma once
// File operations on paths that somebody else may control (user folders, other
// profiles, removable drives, C:\, %APPDATA%): each opens the object itself without
// following a link, checks that it is the kind expected and that the handle's final
// path is the path meant (so that no junction, symbolic link or mount point in any
// folder on the way redirected it), and then acts through that handle. A check that
// fails refuses the operation and changes nothing.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

enum class Verified {
  Done,
  Missing,     // nothing at the path (or a folder on the way is missing)
  Redirected,  // a link at the path or in a folder on the way: the handle is elsewhere
  WrongKind,   // a folder where a file was meant, a file with a second hard link, ...
  Changed,     // not the file that was judged (its identity differs)
  Exists,      // a create-new found something at the target
  Failed,      // any other failure (access, sharing, full disk, ...)
};

// Which file a handle reached: the volume and the file's id on it.
struct FileIdentity {
  uint64_t volume = 0;
  uint64_t id_high = 0;
  uint64_t id_low = 0;
  bool operator==(const FileIdentity& other) const {
    return volume == other.volume && id_high == other.id_high && id_low == other.id_low;
  }
};

// The identity of the regular file at the path, opened itself and verified.
Verified IdentifyVerified(const std::wstring& path, FileIdentity& identity);

// Reads at most max_bytes from the start of the regular file at the path, through a
// verified handle, whatever the file grows to meanwhile.
Verified ReadVerified(const std::wstring& path, std::size_t max_bytes, std::string& out);

// Moves the regular file at the path (when expected is given, it must still be that
// file) to target, whose folder is verified too; never over an existing file. Within a
// volume a rename through the handle; across volumes a copy from the handle into a new
// file, then the source deleted through its handle.
Verified MoveVerified(const std::wstring& path, const FileIdentity* expected, const std::wstring& target);

// Renames the folder at the path, opened itself and verified, to target in a verified
// folder on the same volume; never over anything. What the folder holds moves with it
// as it is: links inside are moved as links, never followed.
Verified MoveFolderVerified(const std::wstring& path, const std::wstring& target);

// Deletes the regular file at the path through its verified handle (when expected is
// given, it must still be that file); a read-only attribute is cleared through it first.
Verified DeleteVerified(const std::wstring& path, const FileIdentity* expected);

// Creates target, which must not exist, in its verified folder, with the bytes.
Verified CreateNewVerified(const std::wstring& target, std::string_view bytes);

// Replaces the content of the existing regular file at target in one step: the bytes
// go into a new file in the same verified folder, renamed over the verified target.
Verified ReplaceVerified(const std::wstring& target, std::string_view bytes);

// Makes the folder and every missing parent, each one verified (a link anywhere on the
// way is refused, never followed).
Verified MakeFoldersVerified(const std::wstring& folder);

// Sets or clears the read-only attribute through the verified handle of the file.
Verified SetReadOnlyVerified(const std::wstring& path, bool read_only);

}  // namespace platform
