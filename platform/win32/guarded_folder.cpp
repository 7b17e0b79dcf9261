// The data folder's access list: only Administrators, SYSTEM and the user who runs
// the program may change what is in it, so that nobody else can plant a link or a
// file there for an elevated run to write through.
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <array>
#include <memory>
#include <string>

#include "platform/files.h"
#include "platform/win32/guarded_folder.h"
#include "platform/win32/handles.h"

namespace platform {

namespace {
struct LocalFreer {
  void operator()(void* memory) const { LocalFree(memory); }
};
using LocalMemory = std::unique_ptr<void, LocalFreer>;

constexpr DWORD kWriteRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES |
                               FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

// The SIDs that may write: SYSTEM, Administrators and the token's user.
struct TrustedSids {
  std::array<BYTE, SECURITY_MAX_SID_SIZE> system{};
  std::array<BYTE, SECURITY_MAX_SID_SIZE> administrators{};
  alignas(TOKEN_USER) std::array<BYTE, 512> user_buffer{};  // TOKEN_USER and the SID after it
  PSID user = nullptr;
};

bool ReadTrustedSids(TrustedSids& sids) {
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

bool IsTrusted(const TrustedSids& sids, PSID sid) {
  return EqualSid(sid, const_cast<BYTE*>(sids.system.data())) ||
         EqualSid(sid, const_cast<BYTE*>(sids.administrators.data())) || EqualSid(sid, sids.user);
}

// The protected list in security-descriptor language: full control (inherited by
// files and sub-folders) for SYSTEM, Administrators and the user; Users may read,
// list and run what is inside, nothing more.
std::wstring AccessListText(const TrustedSids& sids) {
  LPWSTR user_text = nullptr;
  if (!ConvertSidToStringSidW(sids.user, &user_text)) return L"";
  const LocalMemory user_text_owner(user_text);
  return std::wstring(L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;") + user_text + L")(A;OICI;0x1200a9;;;BU)";
}

LocalMemory BuildDescriptor(const TrustedSids& sids) {
  const std::wstring sddl = AccessListText(sids);
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (sddl.empty() ||
      !ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
    return nullptr;
  }
  return LocalMemory(descriptor);
}

bool OnlyTrustedInList(PACL dacl, const TrustedSids& sids) {
  if (!dacl) return false;  // a null list lets everybody in
  for (DWORD index = 0; index < dacl->AceCount; ++index) {
    void* ace = nullptr;
    if (!GetAce(dacl, index, &ace)) return false;
    const auto* header = static_cast<ACE_HEADER*>(ace);
    if (header->AceType == ACCESS_DENIED_ACE_TYPE) continue;
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) return false;  // kinds we do not read are not trusted
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    if ((allowed->Mask & kWriteRights) && !IsTrusted(sids, &allowed->SidStart)) return false;
  }
  return true;
}

// What the folder's owner and list, read back once, allow.
struct FolderTrust {
  bool owner_trusted = false;
  bool list_trusted = false;  // no entry lets anybody else write
};

FolderTrust ReadFolderTrust(const std::wstring& path, const TrustedSids& sids) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                            &owner, nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
    return {};
  }
  const LocalMemory descriptor_owner(descriptor);
  return {owner && IsTrusted(sids, owner), OnlyTrustedInList(dacl, sids)};
}

// Another account's folder: its owner could put any list back, so the owner moves to
// Administrators (possible in an elevated run) or to the user before the list is set.
bool TakeOwnership(const std::wstring& path, const TrustedSids& sids) {
  std::wstring mutable_path = path;
  for (PSID owner : {static_cast<PSID>(const_cast<BYTE*>(sids.administrators.data())), sids.user}) {
    if (SetNamedSecurityInfoW(mutable_path.data(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, owner, nullptr,
                              nullptr, nullptr) == ERROR_SUCCESS) {
      return true;
    }
  }
  return false;
}

bool PutDescriptorOn(const std::wstring& path, PSECURITY_DESCRIPTOR descriptor) {
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present) return false;
  std::wstring mutable_path = path;
  return SetNamedSecurityInfoW(mutable_path.data(), SE_FILE_OBJECT,
                               DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr,
                               dacl, nullptr) == ERROR_SUCCESS;
}

}  // namespace

namespace win32 {
std::wstring GuardedFolderAccessList() {
  TrustedSids sids;
  return ReadTrustedSids(sids) ? AccessListText(sids) : L"";
}

bool OnlyTrustedMayWriteTo(const std::wstring& path) {
  TrustedSids sids;
  if (!ReadTrustedSids(sids)) return false;
  const FolderTrust trust = ReadFolderTrust(path, sids);
  return trust.owner_trusted && trust.list_trusted;
}
}  // namespace win32

GuardedFolder MakeGuardedFolder(const std::wstring& path) {
  const std::size_t last = path.find_last_of(L'\\');
  if (last != std::wstring::npos && last > 2) MakeDirectories(path.substr(0, last));

  TrustedSids sids;
  const bool have_sids = ReadTrustedSids(sids);
  const LocalMemory descriptor = have_sids ? BuildDescriptor(sids) : nullptr;
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor.get(), FALSE};
  if (CreateDirectoryW(path.c_str(), descriptor ? &attributes : nullptr)) {
    return descriptor ? GuardedFolder::Ready : GuardedFolder::NotGuarded;
  }

  // It was there already (or could not be made): never used through a link.
  const DWORD found = GetFileAttributesW(path.c_str());
  if (found == INVALID_FILE_ATTRIBUTES) return GuardedFolder::Failed;
  if (found & FILE_ATTRIBUTE_REPARSE_POINT) return GuardedFolder::IsLink;  // to a folder, a file or nowhere
  if (!(found & FILE_ATTRIBUTE_DIRECTORY)) return GuardedFolder::Failed;
  if (!descriptor) return GuardedFolder::NotGuarded;
  const FolderTrust trust = ReadFolderTrust(path, sids);
  if (trust.owner_trusted && trust.list_trusted) return GuardedFolder::Ready;
  if (!trust.owner_trusted && !TakeOwnership(path, sids)) return GuardedFolder::NotGuarded;
  return PutDescriptorOn(path, descriptor.get()) ? GuardedFolder::Ready : GuardedFolder::NotGuarded;
}

}  // namespace platform
