#pragma once
// Whether a file or folder can be changed by anybody but the machine's administrators,
// asked before the program starts something that lives there.
#include <functional>
#include <string>

namespace platform {

// What the owner and access list of a path say, read from the object itself (no link
// followed).
enum class WriteTrust {
  AdminsOnly,      // owned by, and writable only by, SYSTEM, Administrators or TrustedInstaller
  OthersMayWrite,  // another owner, a missing (NULL) list, a write grant to anybody else, or an entry of unknown kind
  IsLink,          // a reparse point (symbolic link, junction, ...)
  WrongKind,       // a folder where a file was wanted, or a file where a folder was
  Unreadable,      // cannot be opened, or its owner and list cannot be read (also: missing)
};

// The trust of the folder itself (CreateFileW with FILE_FLAG_OPEN_REPARSE_POINT and
// FILE_FLAG_BACKUP_SEMANTICS, READ_CONTROL; owner and list by GetSecurityInfo on that handle).
WriteTrust FolderWriteTrust(const std::wstring& folder);

// Opens the file itself the same way, for reading and sharing reads only, so that
// nobody can write, replace or delete it while it is held; when it is a regular file
// of trust AdminsOnly, runs while_held with the file still held (for instance to start
// it). Returns the trust; while_held runs only for AdminsOnly.
WriteTrust WithAdminOnlyFile(const std::wstring& path, const std::function<void()>& while_held);

}  // namespace platform
