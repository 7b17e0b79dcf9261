// Verified file operations on Windows: each object is opened itself with
// FILE_FLAG_OPEN_REPARSE_POINT, judged by the handle (attributes, link count, file id)
// and by where the handle really is (its final path), and then acted on through that
// handle. Wine follows a Unix symbolic link even when asked not to, but shows it as a
// reparse point by path, so the path's attributes are read as well.
#include "platform/verified_files.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include "platform/win32/final_path.h"
#include "platform/win32/handles.h"

namespace platform {

namespace {
using win32::OwnFileHandle;
using win32::UniqueHandle;

enum class Kind { File, Folder };

Verified FromError(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return Verified::Missing;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return Verified::Exists;
    case ERROR_CANT_ACCESS_FILE:
    case ERROR_CANT_RESOLVE_FILENAME:
      return Verified::Redirected;
    default:
      return Verified::Failed;
  }
}

// The handle reached the path meant by its own name: no reparse point at the path
// (Wine shows a Unix link only this way) and no link in a folder on the way.
Verified ReachedByItsName(const std::wstring& path, HANDLE handle) {
  const DWORD attributes = GetFileAttributesW(win32::ApiPath(path).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return Verified::Redirected;
  }
  const std::wstring final_path = win32::FinalPathOf(handle);
  if (final_path.empty()) return Verified::Failed;  // where it is cannot be told: not trusted
  return win32::SamePath(final_path, win32::MeantForm(path)) ? Verified::Done : Verified::Redirected;
}

// Opens the object at the path itself and checks that it is the kind meant (a file
// with a single link, or a folder) and that it is where the path says.
Verified OpenVerified(const std::wstring& path, DWORD access, DWORD share, Kind kind, UniqueHandle& out,
                      BY_HANDLE_FILE_INFORMATION& info) {
  const DWORD flags = FILE_FLAG_OPEN_REPARSE_POINT | (kind == Kind::Folder ? FILE_FLAG_BACKUP_SEMANTICS : 0);
  UniqueHandle handle = OwnFileHandle(CreateFileW(win32::ApiPath(path).c_str(), access, share, nullptr, OPEN_EXISTING, flags, nullptr));
  if (!handle) {
    const DWORD error = GetLastError();
    if (error == ERROR_ACCESS_DENIED) {
      // A folder opened as a file is refused this way.
      const DWORD attributes = GetFileAttributesW(win32::ApiPath(path).c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        return Verified::Redirected;
      }
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return Verified::WrongKind;
      }
    }
    return FromError(error);
  }
  if (!GetFileInformationByHandle(handle.get(), &info)) return Verified::Failed;
  if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return Verified::Redirected;
  const Verified reached = ReachedByItsName(path, handle.get());
  if (reached != Verified::Done) return reached;
  const bool folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if (folder != (kind == Kind::Folder)) return Verified::WrongKind;
  if (kind == Kind::File && info.nNumberOfLinks != 1) return Verified::WrongKind;
  out = std::move(handle);
  return Verified::Done;
}

FileIdentity IdentityOf(const BY_HANDLE_FILE_INFORMATION& info) {
  return {info.dwVolumeSerialNumber, 0, (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

std::wstring ParentOf(const std::wstring& path) {
  const std::size_t last = path.find_last_of(L'\\');
  if (last == std::wstring::npos) return L"";
  return last == 2 && path[1] == L':' ? path.substr(0, 3) : path.substr(0, last);
}

// The folder a file goes into, verified and held open without delete sharing, so that
// it cannot be renamed away and replaced while the handle is held.
Verified OpenFolderOf(const std::wstring& path, UniqueHandle& folder) {
  const std::wstring parent = ParentOf(path);
  if (parent.empty()) return Verified::Failed;
  BY_HANDLE_FILE_INFORMATION info{};
  return OpenVerified(parent, FILE_READ_ATTRIBUTES | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE, Kind::Folder,
                      folder, info);
}

bool DeleteThrough(HANDLE handle) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = TRUE;
  return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof(disposition));
}

bool SetAttributesThrough(HANDLE handle, DWORD attributes) {
  FILE_BASIC_INFO basic{};  // zero times stay as they are
  basic.FileAttributes = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
  return SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof(basic));
}

// Renames the file behind the handle to the full path target.
bool RenameThrough(HANDLE handle, const std::wstring& target, bool replace) {
  const std::wstring name = win32::ApiPath(target);
  const std::size_t name_bytes = name.size() * sizeof(wchar_t);
  std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + name_bytes);
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  rename->ReplaceIfExists = replace ? TRUE : FALSE;
  rename->RootDirectory = nullptr;
  rename->FileNameLength = static_cast<DWORD>(name_bytes);
  std::memcpy(rename->FileName, name.data(), name_bytes);
  return SetFileInformationByHandle(handle, FileRenameInfo, buffer.data(), static_cast<DWORD>(buffer.size()));
}

// Creates target, which must not exist yet, in its verified folder; the new handle is
// checked to be at the path meant, else the file is deleted through it.
Verified CreateNewThrough(const std::wstring& target, UniqueHandle& out) {
  UniqueHandle folder;
  const Verified room = OpenFolderOf(target, folder);
  if (room != Verified::Done) return room;
  UniqueHandle created = OwnFileHandle(CreateFileW(win32::ApiPath(target).c_str(), GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES, 0,
                                                   nullptr, CREATE_NEW, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!created) return FromError(GetLastError());
  const Verified reached = ReachedByItsName(target, created.get());
  if (reached != Verified::Done) {
    DeleteThrough(created.get());
    return reached;
  }
  out = std::move(created);
  return Verified::Done;
}

bool ReadSome(HANDLE file, char* into, std::size_t want, std::size_t& got) {
  DWORD read = 0;
  if (!ReadFile(file, into, static_cast<DWORD>(std::min<std::size_t>(want, 1u << 20)), &read, nullptr)) return false;
  got = read;
  return true;
}

bool WriteAll(HANDLE file, const char* bytes, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 20));
    DWORD wrote = 0;
    if (!WriteFile(file, bytes + done, want, &wrote, nullptr) || wrote == 0) return false;
    done += wrote;
  }
  return true;
}

bool CopyBytes(HANDLE from, HANDLE to) {
  std::vector<char> buffer(1u << 20);
  for (;;) {
    std::size_t got = 0;
    if (!ReadSome(from, buffer.data(), buffer.size(), got)) return false;
    if (got == 0) return true;
    if (!WriteAll(to, buffer.data(), got)) return false;
  }
}

constexpr DWORD kShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;
}  // namespace

namespace {
// The regular file at the path, verified and looked at, and let go again.
Verified Judge(const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info) {
  UniqueHandle file;
  return OpenVerified(path, FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareReadWrite, Kind::File, file, info);
}
}  // namespace

Verified IdentifyVerified(const std::wstring& path, FileIdentity& identity) {
  BY_HANDLE_FILE_INFORMATION info{};
  const Verified found = Judge(path, info);
  if (found == Verified::Done) identity = IdentityOf(info);
  return found;
}

Verified ReadVerified(const std::wstring& path, std::size_t max_bytes, std::string& out) {
  UniqueHandle file;
  BY_HANDLE_FILE_INFORMATION info{};
  const Verified found = OpenVerified(path, GENERIC_READ, kShareReadWrite, Kind::File, file, info);
  if (found != Verified::Done) return found;
  const uint64_t size = (uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
  std::string bytes(static_cast<std::size_t>(std::min<uint64_t>(size, max_bytes)), '\0');
  std::size_t done = 0;
  for (;;) {
    std::size_t got = 0;
    if (done < bytes.size()) {
      if (!ReadSome(file.get(), bytes.data() + done, bytes.size() - done, got)) return Verified::Failed;
      if (got == 0) break;
      done += got;
      continue;
    }
    if (done >= max_bytes) break;
    // The file grew after it was measured: the buffer grows only while there is more,
    // and never past max_bytes.
    char probe[4096];
    if (!ReadSome(file.get(), probe, std::min(sizeof(probe), max_bytes - done), got)) return Verified::Failed;
    if (got == 0) break;
    std::string larger(std::min(max_bytes, std::max(done * 2, done + got)), '\0');
    std::memcpy(larger.data(), bytes.data(), done);
    std::memcpy(larger.data() + done, probe, got);
    done += got;
    bytes.swap(larger);
  }
  bytes.resize(done);
  out = std::move(bytes);
  return Verified::Done;
}

Verified MoveVerified(const std::wstring& path, const FileIdentity* expected, const std::wstring& target) {
  UniqueHandle source;
  BY_HANDLE_FILE_INFORMATION info{};
  // Writers are shut out for the move, so that a copy across volumes is the whole file.
  const Verified found =
      OpenVerified(path, DELETE | GENERIC_READ | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE,
                   FILE_SHARE_READ, Kind::File, source, info);
  if (found != Verified::Done) return found;
  if (expected && !(IdentityOf(info) == *expected)) return Verified::Changed;
  UniqueHandle folder;
  const Verified room = OpenFolderOf(target, folder);
  if (room != Verified::Done) return room;
  if (RenameThrough(source.get(), target, false)) {
    if (win32::SamePath(win32::FinalPathOf(source.get()), win32::MeantForm(target))) return Verified::Done;
    // It went elsewhere after all (a folder above was swapped meanwhile): put it back.
    RenameThrough(source.get(), path, false);
    return Verified::Redirected;
  }
  const DWORD error = GetLastError();
  if (error != ERROR_NOT_SAME_DEVICE) return FromError(error);
  // Across volumes: a copy from the verified handle into a new verified file, then the
  // source deleted through its handle; any failure removes the copy and keeps the source.
  UniqueHandle copy;
  const Verified created = CreateNewThrough(target, copy);
  if (created != Verified::Done) return created;
  const bool read_only = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
  bool moved = CopyBytes(source.get(), copy.get()) && FlushFileBuffers(copy.get());
  if (moved && read_only) moved = SetAttributesThrough(source.get(), info.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
  if (moved && !DeleteThrough(source.get())) {
    moved = false;
    if (read_only) SetAttributesThrough(source.get(), info.dwFileAttributes);
  }
  if (!moved) {
    DeleteThrough(copy.get());
    return Verified::Failed;
  }
  return Verified::Done;
}

Verified MoveFolderVerified(const std::wstring& path, const std::wstring& target) {
  UniqueHandle source;
  BY_HANDLE_FILE_INFORMATION info{};
  const Verified found = OpenVerified(path, DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, Kind::Folder, source, info);
  if (found != Verified::Done) return found;
  UniqueHandle folder;
  const Verified room = OpenFolderOf(target, folder);
  if (room != Verified::Done) return room;
  if (!RenameThrough(source.get(), target, false)) return FromError(GetLastError());
  if (win32::SamePath(win32::FinalPathOf(source.get()), win32::MeantForm(target))) return Verified::Done;
  RenameThrough(source.get(), path, false);  // it went elsewhere after all: put it back
  return Verified::Redirected;
}

Verified DeleteVerified(const std::wstring& path, const FileIdentity* expected) {
  UniqueHandle file;
  BY_HANDLE_FILE_INFORMATION info{};
  const Verified found = OpenVerified(path, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE,
                                      kShareReadWrite, Kind::File, file, info);
  if (found != Verified::Done) return found;
  if (expected && !(IdentityOf(info) == *expected)) return Verified::Changed;
  const bool read_only = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
  if (read_only && !SetAttributesThrough(file.get(), info.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY)) {
    return Verified::Failed;
  }
  if (DeleteThrough(file.get())) return Verified::Done;
  if (read_only) SetAttributesThrough(file.get(), info.dwFileAttributes);
  return Verified::Failed;
}

Verified CreateNewVerified(const std::wstring& target, std::string_view bytes) {
  UniqueHandle file;
  const Verified created = CreateNewThrough(target, file);
  if (created != Verified::Done) return created;
  if (WriteAll(file.get(), bytes.data(), bytes.size())) return Verified::Done;
  DeleteThrough(file.get());
  return Verified::Failed;
}

Verified ReplaceVerified(const std::wstring& target, std::string_view bytes) {
  BY_HANDLE_FILE_INFORMATION info{};
  const Verified found = Judge(target, info);
  if (found != Verified::Done) return found;
  // Windows refuses to rename over a read-only file (Wine does not): refused here on both.
  if (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) return Verified::Failed;
  const FileIdentity judged = IdentityOf(info);
  static std::atomic<unsigned> g_serial{0};
  const std::wstring temporary = target + L".kav-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                 std::to_wstring(GetTickCount64()) + L"-" + std::to_wstring(++g_serial) + L".tmp";
  UniqueHandle fresh;
  const Verified created = CreateNewThrough(temporary, fresh);
  if (created != Verified::Done) return created == Verified::Exists ? Verified::Failed : created;
  if (!WriteAll(fresh.get(), bytes.data(), bytes.size()) || !FlushFileBuffers(fresh.get())) {
    DeleteThrough(fresh.get());
    return Verified::Failed;
  }
  // The target is looked at again just before: another file swapped in meanwhile is
  // not replaced. (A rename cannot go over a file that is held open, so it is not held.)
  FileIdentity now;
  Verified still = IdentifyVerified(target, now);
  if (still == Verified::Done && !(now == judged)) still = Verified::Changed;
  if (still == Verified::Done && !RenameThrough(fresh.get(), target, true)) still = FromError(GetLastError());
  if (still != Verified::Done) {
    DeleteThrough(fresh.get());
    return still == Verified::Exists ? Verified::Failed : still;
  }
  return Verified::Done;
}

Verified MakeFoldersVerified(const std::wstring& folder) {
  const std::wstring full = win32::MeantForm(folder);
  if (full.size() < 3 || full[1] != L':' || full[2] != L'\\') return Verified::Failed;
  // One folder at a time from the drive's root, each held open without delete sharing
  // until the end, so that a link on the way is met before anything is made behind it
  // and a verified folder cannot be swapped afterwards.
  std::vector<UniqueHandle> held;
  std::size_t next = 3;
  while (next < full.size()) {
    std::size_t end = full.find(L'\\', next);
    if (end == std::wstring::npos) end = full.size();
    const bool empty_part = end == next;
    next = end + 1;
    if (empty_part) continue;
    const std::wstring walked = full.substr(0, end);
    UniqueHandle handle;
    BY_HANDLE_FILE_INFORMATION info{};
    Verified found = OpenVerified(walked, FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareReadWrite, Kind::Folder, handle, info);
    if (found == Verified::Missing) {
      if (!CreateDirectoryW(win32::ApiPath(walked).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        return FromError(GetLastError()) == Verified::Missing ? Verified::Missing : Verified::Failed;
      }
      found = OpenVerified(walked, FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareReadWrite, Kind::Folder, handle, info);
    }
    if (found != Verified::Done) return found;
    held.push_back(std::move(handle));
  }
  return Verified::Done;
}

Verified SetReadOnlyVerified(const std::wstring& path, bool read_only) {
  UniqueHandle file;
  BY_HANDLE_FILE_INFORMATION info{};
  const Verified found = OpenVerified(path, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE, kShareReadWrite,
                                      Kind::File, file, info);
  if (found != Verified::Done) return found;
  const DWORD attributes =
      read_only ? (info.dwFileAttributes | FILE_ATTRIBUTE_READONLY) : (info.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
  return SetAttributesThrough(file.get(), attributes & ~FILE_ATTRIBUTE_NORMAL) ? Verified::Done : Verified::Failed;
}

}  // namespace platform
