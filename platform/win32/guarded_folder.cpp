// The data folder's owner and access list. An elevated run's folder belongs to SYSTEM
// and Administrators alone, so that no unelevated program can read what it keeps or
// plant a file or link for it to trust or write through; a run that is not elevated
// keeps its folder for the user. Every judgement is made on a handle to the folder
// itself, never through a link and never by a second look-up of the same path.
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <array>
#include <cwctype>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/files.h"
#include "platform/win32/final_path.h"
#include "platform/win32/guarded_folder.h"
#include "platform/win32/handles.h"

namespace platform {

namespace {
struct LocalFreer {
  void operator()(void* memory) const { LocalFree(memory); }
};
using LocalMemory = std::unique_ptr<void, LocalFreer>;

// SYSTEM, Administrators and the token's user.
struct Sids {
  std::array<BYTE, SECURITY_MAX_SID_SIZE> system{};
  std::array<BYTE, SECURITY_MAX_SID_SIZE> administrators{};
  alignas(TOKEN_USER) std::array<BYTE, 512> user_buffer{};  // TOKEN_USER and the SID after it
  PSID user = nullptr;
};

bool ReadSids(Sids& sids) {
  DWORD size = SECURITY_MAX_SID_SIZE;
  if (!CreateWellKnownSid(WinLocalSystemSid, nullptr, sids.system.data(), &size)) return false;
  size = SECURITY_MAX_SID_SIZE;
  if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sids.administrators.data(), &size)) return false;
  HANDLE raw_token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw_token)) return false;
  const win32::UniqueHandle token(raw_token);
  DWORD needed = 0;
  if (!GetTokenInformation(token.get(), TokenUser, sids.user_buffer.data(),
                           static_cast<DWORD>(sids.user_buffer.size()), &needed)) {
    return false;
  }
  sids.user = reinterpret_cast<TOKEN_USER*>(sids.user_buffer.data())->User.Sid;
  return true;
}

bool IsAudience(const Sids& sids, FolderAudience audience, PSID sid) {
  if (EqualSid(sid, const_cast<BYTE*>(sids.system.data())) ||
      EqualSid(sid, const_cast<BYTE*>(sids.administrators.data()))) {
    return true;
  }
  return audience == FolderAudience::AdministratorsAndUser && EqualSid(sid, sids.user);
}

// The list in security-descriptor language: full control, inherited by files and
// sub-folders, for the audience and nobody else.
std::wstring AccessListText(const Sids& sids, FolderAudience audience) {
  if (audience == FolderAudience::AdministratorsOnly) return L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
  LPWSTR user_text = nullptr;
  if (!ConvertSidToStringSidW(sids.user, &user_text)) return L"";
  const LocalMemory user_text_owner(user_text);
  return std::wstring(L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;") + user_text + L")";
}

LocalMemory BuildDescriptor(const Sids& sids, FolderAudience audience) {
  const std::wstring sddl = AccessListText(sids, audience);
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (sddl.empty() ||
      !ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
    return nullptr;
  }
  return LocalMemory(descriptor);
}

// Every entry that grants anything names the audience; kinds we do not read are
// not trusted, and a null list lets everybody in.
bool OnlyAudienceInList(PACL dacl, const Sids& sids, FolderAudience audience) {
  if (!dacl) return false;
  for (DWORD index = 0; index < dacl->AceCount; ++index) {
    void* ace = nullptr;
    if (!GetAce(dacl, index, &ace)) return false;
    const auto* header = static_cast<ACE_HEADER*>(ace);
    if (header->AceType == ACCESS_DENIED_ACE_TYPE) continue;
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) return false;
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    if (allowed->Mask != 0 && !IsAudience(sids, audience, &allowed->SidStart)) return false;
  }
  return true;
}

// Whether the owner and list read from the handle admit the audience alone.
bool OwnedByAudience(HANDLE folder, const Sids& sids, FolderAudience audience) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                      nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  const LocalMemory descriptor_owner(descriptor);
  return owner && IsAudience(sids, audience, owner) && OnlyAudienceInList(dacl, sids, audience);
}

win32::UniqueHandle OpenFolderItself(const std::wstring& path, DWORD access, DWORD share) {
  return win32::OwnFileHandle(CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

// What the handle is: a link, a real folder, or something else.
enum class Kind { Link, Folder, Other };
Kind KindOf(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle, &info)) return Kind::Other;
  if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return Kind::Link;
  return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? Kind::Folder : Kind::Other;
}

// A link at the path itself, seen by its attributes (Wine follows a Unix link even when
// asked not to, so the handle alone would not tell), or a handle that ended up elsewhere.
bool ReachedThroughALink(const std::wstring& path, HANDLE handle) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
  return !win32::FinalPathOf(handle).empty() && !win32::HandleIsAt(handle, path);
}

std::wstring ParentOf(const std::wstring& path) {
  const std::size_t last = path.find_last_of(L'\\');
  return last == std::wstring::npos ? L"" : path.substr(0, last);
}

std::wstring LowerKey(std::wstring path) {
  for (wchar_t& c : path) c = static_cast<wchar_t>(std::towlower(c));
  return path;
}

// Folders in use stay open for the run without delete sharing: nobody can rename
// one away and put another folder or a link in its place. Kept on purpose.
std::mutex g_held_lock;
std::map<std::wstring, HANDLE> g_held;

void HoldForTheRun(const std::wstring& path) {
  const std::wstring key = LowerKey(path);
  std::lock_guard<std::mutex> hold(g_held_lock);
  if (g_held.count(key)) return;
  const HANDLE folder = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (folder != INVALID_HANDLE_VALUE) g_held[key] = folder;
}

// Whether this volume keeps the lists it is given: a probe folder made with our
// list must read back as ours. Some file systems (and Wine) keep none, and there the
// owner and list of an existing folder say nothing about who made it.
bool ListsKeptBeside(const std::wstring& path, const Sids& sids, FolderAudience audience) {
  static std::mutex lock;
  static std::map<std::wstring, bool> known;  // by parent folder
  const std::wstring parent = ParentOf(path);
  std::lock_guard<std::mutex> hold(lock);
  const auto found = known.find(LowerKey(parent));
  if (found != known.end()) return found->second;
  const LocalMemory descriptor = BuildDescriptor(sids, audience);
  if (!descriptor) return true;
  const std::wstring probe =
      path + L".probe-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount64());
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor.get(), FALSE};
  // Made with our list at once, so nobody else may rename it before it is removed
  // below by the same path; a name somebody took first fails the create.
  if (!CreateDirectoryW(probe.c_str(), &attributes)) return true;  // cannot tell: take the safe road
  bool kept = true;
  {
    const win32::UniqueHandle folder = OpenFolderItself(probe, READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE);
    kept = folder && OwnedByAudience(folder.get(), sids, audience);
  }
  RemoveDirectoryW(probe.c_str());
  known[LowerKey(parent)] = kept;
  return kept;
}

// Renames the folder (or whatever now stands there, as itself) beside its old name.
bool MoveAside(const std::wstring& path, std::wstring& moved_to) {
  const win32::UniqueHandle folder =
      OpenFolderItself(path, DELETE | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  if (!folder) return false;
  const std::wstring target = path + L".moved-" + std::to_wstring(GetTickCount64());
  const std::size_t name_bytes = target.size() * sizeof(wchar_t);
  std::string buffer(sizeof(FILE_RENAME_INFO) + name_bytes, '\0');
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  rename->ReplaceIfExists = FALSE;
  rename->RootDirectory = nullptr;
  rename->FileNameLength = static_cast<DWORD>(name_bytes);
  std::copy(target.begin(), target.end(), rename->FileName);
  if (!SetFileInformationByHandle(folder.get(), FileRenameInfo, rename, static_cast<DWORD>(buffer.size()))) {
    return false;
  }
  moved_to = target;
  return true;
}

// The user's own folder that lets somebody else in: the owner and list go on the handle.
bool PutListOn(const std::wstring& path, const Sids& sids, FolderAudience audience) {
  const LocalMemory descriptor = BuildDescriptor(sids, audience);
  if (!descriptor) return false;
  const win32::UniqueHandle folder =
      OpenFolderItself(path, READ_CONTROL | WRITE_DAC | WRITE_OWNER, FILE_SHARE_READ | FILE_SHARE_WRITE);
  if (!folder || KindOf(folder.get()) != Kind::Folder) return false;
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  if (!GetSecurityDescriptorDacl(descriptor.get(), &present, &dacl, &defaulted) || !present) return false;
  SetSecurityInfo(folder.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, sids.user, nullptr, nullptr, nullptr);
  if (SetSecurityInfo(folder.get(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                      nullptr, nullptr, dacl, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  return OwnedByAudience(folder.get(), sids, audience);
}

// The folder and its list come into being together; whatever already stands at the
// path (a folder, a link) makes the create fail, and is then judged on its handle.
bool CreateWithList(const std::wstring& path, const LocalMemory& descriptor) {
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor.get(), FALSE};
  return CreateDirectoryW(path.c_str(), descriptor ? &attributes : nullptr) != 0;
}

GuardedFolder JudgeExisting(const std::wstring& path, const Sids& sids, FolderAudience audience,
                            std::wstring* moved_to) {
  bool owned = false;
  {
    const win32::UniqueHandle folder =
        OpenFolderItself(path, READ_CONTROL | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (folder) {
      const Kind kind = KindOf(folder.get());
      if (kind == Kind::Link || ReachedThroughALink(path, folder.get())) return GuardedFolder::IsLink;
      if (kind != Kind::Folder) return GuardedFolder::Failed;
      owned = OwnedByAudience(folder.get(), sids, audience);
    } else {
      const DWORD found = GetFileAttributesW(path.c_str());  // a list that shuts us out is not ours either
      if (found == INVALID_FILE_ATTRIBUTES) return GuardedFolder::Failed;
      if (found & FILE_ATTRIBUTE_REPARSE_POINT) return GuardedFolder::IsLink;
    }
  }
  if (owned) return GuardedFolder::Ready;
  if (!ListsKeptBeside(path, sids, audience)) return GuardedFolder::NotGuarded;
  if (audience == FolderAudience::AdministratorsAndUser) {
    return PutListOn(path, sids, audience) ? GuardedFolder::Ready : GuardedFolder::NotGuarded;
  }
  // What another account put inside is never trusted: the whole folder goes aside.
  std::wstring moved;
  if (!MoveAside(path, moved)) return GuardedFolder::Untrusted;
  if (moved_to) *moved_to = moved;
  const LocalMemory descriptor = BuildDescriptor(sids, audience);
  if (!descriptor || !CreateWithList(path, descriptor)) return GuardedFolder::Untrusted;  // somebody was quicker
  return GuardedFolder::MovedAside;
}

}  // namespace

namespace win32 {
std::wstring GuardedFolderAccessList(FolderAudience audience) {
  Sids sids;
  return ReadSids(sids) ? AccessListText(sids, audience) : L"";
}

bool FolderOwnedByAudience(const std::wstring& path, FolderAudience audience) {
  Sids sids;
  if (!ReadSids(sids)) return false;
  const UniqueHandle folder = OpenFolderItself(path, READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE);
  return folder && OwnedByAudience(folder.get(), sids, audience);
}
}  // namespace win32

GuardedFolder MakeGuardedFolder(const std::wstring& path, FolderAudience audience, std::wstring* moved_to) {
  const std::wstring parent = ParentOf(path);
  if (parent.size() > 2) MakeDirectories(parent);

  Sids sids;
  const bool have_sids = ReadSids(sids);
  const LocalMemory descriptor = have_sids ? BuildDescriptor(sids, audience) : nullptr;
  GuardedFolder state = GuardedFolder::Failed;
  if (CreateWithList(path, descriptor)) {
    state = descriptor ? GuardedFolder::Ready : GuardedFolder::NotGuarded;
  } else if (!have_sids || !descriptor) {
    const win32::UniqueHandle folder = OpenFolderItself(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (!folder) return GuardedFolder::Failed;
    const Kind kind = KindOf(folder.get());
    if (kind == Kind::Link || ReachedThroughALink(path, folder.get())) return GuardedFolder::IsLink;
    state = kind == Kind::Folder ? GuardedFolder::NotGuarded : GuardedFolder::Failed;
  } else {
    state = JudgeExisting(path, sids, audience, moved_to);
  }
  if (state == GuardedFolder::Ready || state == GuardedFolder::NotGuarded || state == GuardedFolder::MovedAside) {
    HoldForTheRun(path);
  }
  return state;
}

}  // namespace platform
