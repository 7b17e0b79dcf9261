// The stand-in's verified file operations. Windows resolves a link in any folder of a
// path, so every component below the drive's root is looked at: a host symbolic link
// anywhere stands for a junction or symbolic link and refuses the operation.
#include "platform/verified_files.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "platform/standin/control.h"
#include "platform/standin/machine.h"

namespace platform {

namespace {
namespace fs = std::filesystem;

// The host path when no component below the drive's root is a link; "" otherwise.
Verified HostOf(const std::wstring& path, std::string& host) {
  if (path.size() < 3 || path[1] != L':') return Verified::Failed;
  const std::string root = standin::HostPath(path.substr(0, 3));
  host = standin::HostPath(path);
  if (root.empty() || host.empty()) return Verified::Failed;
  std::error_code error;
  fs::path walked(root);
  const fs::path relative = fs::path(host).lexically_relative(root);
  for (const auto& part : relative) {
    if (part.empty() || part == ".") continue;
    walked /= part;
    const auto status = fs::symlink_status(walked, error);
    if (fs::is_symlink(status)) return Verified::Redirected;
    if (!fs::exists(status)) return Verified::Missing;
  }
  return Verified::Done;
}

// A verified path that must name one regular file with a single link.
Verified RegularFile(const std::wstring& path, std::string& host) {
  const Verified reached = HostOf(path, host);
  if (reached != Verified::Done) return reached;
  std::error_code error;
  if (!fs::is_regular_file(fs::symlink_status(host, error))) return Verified::WrongKind;
  if (fs::hard_link_count(host, error) != 1) return Verified::WrongKind;
  return Verified::Done;
}

// The folder a new file goes into, verified, and the target not there yet.
Verified NewTarget(const std::wstring& target, std::string& host) {
  const std::size_t last = target.find_last_of(L'\\');
  if (last == std::wstring::npos) return Verified::Failed;
  std::string folder;
  const Verified parent = HostOf(target.substr(0, last), folder);
  if (parent != Verified::Done) return parent;
  std::error_code error;
  if (!fs::is_directory(fs::symlink_status(folder, error))) return Verified::WrongKind;
  host = standin::HostPath(target);
  if (fs::exists(fs::symlink_status(host, error))) return Verified::Exists;
  return Verified::Done;
}

FileIdentity IdentityOf(const std::string& host) {
  struct stat info {};
  if (::lstat(host.c_str(), &info) != 0) return {};
  return {static_cast<uint64_t>(info.st_dev), 0, static_cast<uint64_t>(info.st_ino)};
}

bool WriteNew(const std::string& host, std::string_view bytes) {
  std::ofstream out(host, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}
}  // namespace

Verified IdentifyVerified(const std::wstring& path, FileIdentity& identity) {
  std::string host;
  const Verified found = RegularFile(path, host);
  if (found == Verified::Done) identity = IdentityOf(host);
  return found;
}

Verified ReadVerified(const std::wstring& path, std::size_t max_bytes, std::string& out) {
  std::string host;
  const Verified found = RegularFile(path, host);
  if (found != Verified::Done) return found;
  standin::NoteOpen(path);
  std::ifstream in(host, std::ios::binary);
  if (!in) return Verified::Failed;
  std::string bytes(max_bytes, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(max_bytes));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  out = std::move(bytes);
  return Verified::Done;
}

Verified MoveVerified(const std::wstring& path, const FileIdentity* expected, const std::wstring& target) {
  standin::Note("MoveVerified " + standin::Narrow(path) + " -> " + standin::Narrow(target));
  std::string source;
  const Verified found = RegularFile(path, source);
  if (found != Verified::Done) return found;
  if (expected && !(IdentityOf(source) == *expected)) return Verified::Changed;
  std::string destination;
  const Verified room = NewTarget(target, destination);
  if (room != Verified::Done) return room;
  std::error_code error;
  if (towupper(path[0]) == towupper(target[0])) {
    fs::rename(source, destination, error);
    return error ? Verified::Failed : Verified::Done;
  }
  fs::copy_file(source, destination, error);
  if (error) return Verified::Failed;
  fs::remove(source, error);
  return error ? Verified::Failed : Verified::Done;
}

Verified MoveFolderVerified(const std::wstring& path, const std::wstring& target) {
  standin::Note("MoveFolderVerified " + standin::Narrow(path) + " -> " + standin::Narrow(target));
  std::string source;
  const Verified reached = HostOf(path, source);
  if (reached != Verified::Done) return reached;
  std::error_code error;
  if (!fs::is_directory(fs::symlink_status(source, error))) return Verified::WrongKind;
  if (standin::IsFolderHeld(path)) return Verified::Failed;
  std::string destination;
  const Verified room = NewTarget(target, destination);
  if (room != Verified::Done) return room;
  if (towupper(path[0]) != towupper(target[0])) return Verified::Failed;  // a rename never crosses volumes
  fs::rename(source, destination, error);
  return error ? Verified::Failed : Verified::Done;
}

Verified DeleteVerified(const std::wstring& path, const FileIdentity* expected) {
  standin::Note("DeleteVerified " + standin::Narrow(path));
  std::string host;
  const Verified found = RegularFile(path, host);
  if (found != Verified::Done) return found;
  if (expected && !(IdentityOf(host) == *expected)) return Verified::Changed;
  SetReadOnlyVerified(path, false);
  std::error_code error;
  return fs::remove(host, error) ? Verified::Done : Verified::Failed;
}

Verified CreateNewVerified(const std::wstring& target, std::string_view bytes) {
  std::string host;
  const Verified room = NewTarget(target, host);
  if (room != Verified::Done) return room;
  // A full disk: created, the write fails, and the new file is deleted through its handle.
  if (!WriteNew(host, standin::OnFullDisk(target) ? std::string_view() : bytes) || standin::OnFullDisk(target)) {
    std::error_code error;
    fs::remove(host, error);
    return Verified::Failed;
  }
  return Verified::Done;
}

Verified ReplaceVerified(const std::wstring& target, std::string_view bytes) {
  std::string host;
  const Verified found = RegularFile(target, host);
  if (found != Verified::Done) return found;
  if (standin::IsReadOnly(target)) return Verified::Failed;  // a rename over a read-only file is refused
  const std::string temporary = host + ".kav-replace";
  if (!WriteNew(temporary, bytes)) return Verified::Failed;
  std::error_code error;
  fs::rename(temporary, host, error);
  if (error) fs::remove(temporary, error);
  return error ? Verified::Failed : Verified::Done;
}

Verified MakeFoldersVerified(const std::wstring& folder) {
  if (folder.size() < 3 || folder[1] != L':') return Verified::Failed;
  const std::string root = standin::HostPath(folder.substr(0, 3));
  const std::string host = standin::HostPath(folder);
  if (root.empty() || host.empty()) return Verified::Failed;
  // One folder at a time, so that a link on the way is met before anything is made
  // behind it.
  std::error_code error;
  fs::path walked(root);
  for (const auto& part : fs::path(host).lexically_relative(root)) {
    if (part.empty() || part == ".") continue;
    walked /= part;
    const auto status = fs::symlink_status(walked, error);
    if (fs::is_symlink(status)) return Verified::Redirected;
    if (!fs::exists(status) && !fs::create_directory(walked, error)) return Verified::Failed;
    if (!fs::is_directory(fs::symlink_status(walked, error))) return Verified::WrongKind;
  }
  return Verified::Done;
}

Verified SetReadOnlyVerified(const std::wstring& path, bool read_only) {
  std::string host;
  const Verified found = RegularFile(path, host);
  if (found != Verified::Done) return found;
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  auto& paths = standin::TheMachine().read_only_paths;
  if (read_only) {
    paths.insert(standin::PathKeyOf(path));
  } else {
    paths.erase(standin::PathKeyOf(path));
  }
  return Verified::Done;
}

}  // namespace platform
