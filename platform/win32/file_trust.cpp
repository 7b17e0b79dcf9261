#include "platform/file_trust.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <memory>

#include "platform/win32/file_trust_rules.h"
#include "platform/win32/handles.h"

namespace platform {

namespace {
using win32::UniqueHandle;

struct LocalFreer {
  void operator()(void* memory) const { LocalFree(memory); }
};
using UniqueLocal = std::unique_ptr<void, LocalFreer>;

// Every right that lets its holder change the object, its contents, its list or owner,
// or (for a folder) what it holds.
constexpr ACCESS_MASK kWriteRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES |
                                     FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
                                     GENERIC_ALL | MAXIMUM_ALLOWED;

constexpr wchar_t kTrustedInstallerSid[] = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

bool IsAdminSid(PSID sid, PSID trusted_installer) {
  return IsValidSid(sid) && (IsWellKnownSid(sid, WinLocalSystemSid) || IsWellKnownSid(sid, WinBuiltinAdministratorsSid) ||
                             EqualSid(sid, trusted_installer));
}

// The owner and every write grant; list is null for a NULL list (or none at all).
WriteTrust TrustOf(PSID owner, PACL list) {
  PSID trusted_installer = nullptr;
  if (!ConvertStringSidToSidW(kTrustedInstallerSid, &trusted_installer)) return WriteTrust::Unreadable;
  const UniqueLocal trusted_installer_owner(trusted_installer);

  if (owner == nullptr || !IsAdminSid(owner, trusted_installer)) return WriteTrust::OthersMayWrite;
  if (list == nullptr) return WriteTrust::OthersMayWrite;  // a NULL list grants everything to everybody
  ACL_SIZE_INFORMATION size{};
  if (!GetAclInformation(list, &size, sizeof(size), AclSizeInformation)) return WriteTrust::Unreadable;
  for (DWORD i = 0; i < size.AceCount; ++i) {
    void* entry = nullptr;
    if (!GetAce(list, i, &entry)) return WriteTrust::Unreadable;
    const auto* header = static_cast<const ACE_HEADER*>(entry);
    if (header->AceType == ACCESS_DENIED_ACE_TYPE) continue;  // a denial grants nothing
    // Object, callback and conditional entries are not read here, so they are not trusted.
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) return WriteTrust::OthersMayWrite;
    if (header->AceFlags & INHERIT_ONLY_ACE) continue;  // only for what is made inside
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
    if ((allowed->Mask & kWriteRights) == 0) continue;
    if (!IsAdminSid(reinterpret_cast<PSID>(&allowed->SidStart), trusted_installer)) return WriteTrust::OthersMayWrite;
  }
  return WriteTrust::AdminsOnly;
}

WriteTrust TrustOfHandle(HANDLE object) {
  PSID owner = nullptr;
  PACL list = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(object, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                      nullptr, &list, nullptr, &descriptor) != ERROR_SUCCESS) {
    return WriteTrust::Unreadable;
  }
  const UniqueLocal descriptor_owner(descriptor);
  return TrustOf(owner, list);
}

// Opens the path itself, never what a link at it points to. A held file also gets
// read access and shares reads only, so that no writer or deleter can open it meanwhile.
UniqueHandle OpenItself(const std::wstring& path, bool hold) {
  const DWORD access = READ_CONTROL | FILE_READ_ATTRIBUTES | (hold ? FILE_READ_DATA : 0);
  const DWORD sharing = hold ? FILE_SHARE_READ : (FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  return win32::OwnFileHandle(CreateFileW(path.c_str(), access, sharing, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

// The kind of the open object, then its owner and list.
WriteTrust TrustOfOpen(HANDLE object, bool want_folder) {
  BY_HANDLE_FILE_INFORMATION information{};
  if (!GetFileInformationByHandle(object, &information)) return WriteTrust::Unreadable;
  if (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return WriteTrust::IsLink;
  const bool is_folder = (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if (is_folder != want_folder) return WriteTrust::WrongKind;
  return TrustOfHandle(object);
}
}  // namespace

namespace win32 {
WriteTrust TrustOfDescriptorText(const std::wstring& sddl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
    return WriteTrust::Unreadable;
  }
  const UniqueLocal descriptor_owner(descriptor);
  PSID owner = nullptr;
  BOOL owner_defaulted = FALSE;
  BOOL list_present = FALSE;
  PACL list = nullptr;
  BOOL list_defaulted = FALSE;
  if (!GetSecurityDescriptorOwner(descriptor, &owner, &owner_defaulted) ||
      !GetSecurityDescriptorDacl(descriptor, &list_present, &list, &list_defaulted)) {
    return WriteTrust::Unreadable;
  }
  return TrustOf(owner, list_present ? list : nullptr);
}
}  // namespace win32

WriteTrust FolderWriteTrust(const std::wstring& folder) {
  const UniqueHandle object = OpenItself(folder, false);
  if (!object) return WriteTrust::Unreadable;
  return TrustOfOpen(object.get(), true);
}

WriteTrust WithAdminOnlyFile(const std::wstring& path, const std::function<void()>& while_held) {
  const UniqueHandle held = OpenItself(path, true);
  if (!held) return WriteTrust::Unreadable;
  const WriteTrust trust = TrustOfOpen(held.get(), false);
  if (trust == WriteTrust::AdminsOnly) while_held();
  return trust;
}

}  // namespace platform
