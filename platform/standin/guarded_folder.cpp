// The stand-in's data folders: owners and lists are records kept by path, links are
// host symbolic links, and a folder in use is marked held so that it cannot be renamed.
#include <algorithm>
#include <filesystem>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/standin/machine.h"

namespace standin {

void SetPathSecurity(const std::wstring& windows_path, const PathSecurity& security) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().security[PathKeyOf(windows_path)] = security;
}

bool PathSecurityOf(const std::wstring& windows_path, PathSecurity& security) {
  std::lock_guard<std::mutex> hold(MachineLock());
  const auto& records = TheMachine().security;
  const auto found = records.find(PathKeyOf(windows_path));
  if (found == records.end()) return false;
  security = found->second;
  return true;
}

bool IsFolderHeld(const std::wstring& windows_folder) {
  std::lock_guard<std::mutex> hold(MachineLock());
  return TheMachine().held_folders.count(PathKeyOf(windows_folder)) != 0;
}

}  // namespace standin

namespace platform {

namespace {
using standin::PathSecurity;

std::vector<std::wstring> AudienceOf(FolderAudience audience) {
  if (audience == FolderAudience::AdministratorsOnly) return {L"SYSTEM", L"Administrators"};
  return {L"SYSTEM", L"Administrators", L"user"};
}

PathSecurity OwnSecurity(FolderAudience audience) {
  return {audience == FolderAudience::AdministratorsOnly ? L"Administrators" : L"user", AudienceOf(audience)};
}

bool InAudience(FolderAudience audience, const std::wstring& account) {
  const auto members = AudienceOf(audience);
  return std::find(members.begin(), members.end(), account) != members.end();
}

bool OwnedByAudience(const std::wstring& path, FolderAudience audience) {
  PathSecurity record;
  if (!standin::PathSecurityOf(path, record)) return true;  // made by the program in an earlier run
  if (!InAudience(audience, record.owner)) return false;
  return std::all_of(record.grantees.begin(), record.grantees.end(),
                     [&](const std::wstring& account) { return InAudience(audience, account); });
}

void Hold(const std::wstring& path) {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  standin::TheMachine().held_folders.insert(standin::PathKeyOf(path));
}

bool Unguardable(const std::wstring& path) {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  return standin::TheMachine().unguardable_folders.count(standin::PathKeyOf(path)) != 0;
}

// A rename carries the records of everything inside along with the folder.
void MoveRecords(const std::wstring& from, const std::wstring& to) {
  const std::wstring from_key = standin::PathKeyOf(from);
  const std::wstring to_key = standin::PathKeyOf(to);
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  auto& records = standin::TheMachine().security;
  std::map<std::wstring, PathSecurity> moved;
  for (auto it = records.begin(); it != records.end();) {
    const std::wstring& key = it->first;
    if (key == from_key || key.rfind(from_key + L"\\", 0) == 0) {
      moved[to_key + key.substr(from_key.size())] = it->second;
      it = records.erase(it);
    } else {
      ++it;
    }
  }
  records.insert(moved.begin(), moved.end());
}

GuardedFolder Settle(const std::wstring& path, GuardedFolder state) {
  if (state == GuardedFolder::Ready || state == GuardedFolder::NotGuarded || state == GuardedFolder::MovedAside) {
    Hold(path);
  }
  return state;
}
}  // namespace

GuardedFolder MakeGuardedFolder(const std::wstring& path, FolderAudience audience, std::wstring* moved_to) {
  standin::Note("MakeGuardedFolder " + standin::Narrow(path));
  const std::string host = standin::HostPath(path);
  if (host.empty()) return GuardedFolder::Failed;
  std::error_code error;
  if (std::filesystem::is_symlink(std::filesystem::symlink_status(host, error))) return GuardedFolder::IsLink;
  if (!std::filesystem::exists(std::filesystem::symlink_status(host, error))) {
    std::filesystem::create_directories(host, error);
    if (!std::filesystem::is_directory(host, error)) return GuardedFolder::Failed;
    if (Unguardable(path)) return Settle(path, GuardedFolder::NotGuarded);
    standin::SetPathSecurity(path, OwnSecurity(audience));
    return Settle(path, GuardedFolder::Ready);
  }
  if (!std::filesystem::is_directory(host, error)) return GuardedFolder::Failed;
  if (Unguardable(path)) return Settle(path, GuardedFolder::NotGuarded);
  if (OwnedByAudience(path, audience)) return Settle(path, GuardedFolder::Ready);
  if (audience == FolderAudience::AdministratorsAndUser) {
    standin::SetPathSecurity(path, OwnSecurity(audience));
    return Settle(path, GuardedFolder::Ready);
  }
  const std::wstring moved = path + L".moved-" + std::to_wstring(TickCount64());
  if (standin::IsFolderHeld(path)) return GuardedFolder::Untrusted;
  std::filesystem::rename(host, standin::HostPath(moved), error);
  if (error) return GuardedFolder::Untrusted;
  MoveRecords(path, moved);
  if (moved_to) *moved_to = moved;
  std::filesystem::create_directory(host, error);
  if (error) return GuardedFolder::Untrusted;
  standin::SetPathSecurity(path, OwnSecurity(audience));
  return Settle(path, GuardedFolder::MovedAside);
}

}  // namespace platform
