#include "platform/process_setup.h"

#include <windows.h>
#include <aclapi.h>
#include <objbase.h>
#include <shobjidl.h>

namespace platform {

void DetachConsole() {
  FreeConsole();
  SetStdHandle(STD_INPUT_HANDLE, nullptr);
  SetStdHandle(STD_OUTPUT_HANDLE, nullptr);
  SetStdHandle(STD_ERROR_HANDLE, nullptr);
}

void SetAppIdentity(const wchar_t* app_id) { SetCurrentProcessExplicitAppUserModelID(app_id); }

namespace {
HANDLE g_instance_mutex = nullptr;  // kept on purpose: it marks this instance until it ends

std::wstring LowerText(std::wstring text) {
  for (wchar_t& c : text) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return text;
}

std::wstring ImageOfProcess(DWORD pid) {
  const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (!process) return L"";
  std::wstring image(32768, L'\0');
  DWORD size = static_cast<DWORD>(image.size());
  const bool found = QueryFullProcessImageNameW(process, 0, image.data(), &size) != 0;
  CloseHandle(process);
  if (!found) return L"";
  image.resize(size);
  return image;
}
}  // namespace

InstanceLock AcquireInstanceMutex(const wchar_t* name) {
  const HANDLE mutex = CreateMutexW(nullptr, TRUE, name);
  if (!mutex) return InstanceLock::Failed;
  g_instance_mutex = mutex;
  return GetLastError() == ERROR_ALREADY_EXISTS ? InstanceLock::AlreadyRunning : InstanceLock::Acquired;
}

bool TakeOverInstanceMutex() {
  if (!g_instance_mutex) return false;
  const DWORD answer = WaitForSingleObject(g_instance_mutex, 0);
  return answer == WAIT_OBJECT_0 || answer == WAIT_ABANDONED;
}

bool InstanceWindowOfThisProgram() {
  const std::wstring self = LowerText(ModuleFilePath());
  if (self.empty()) return false;
  const DWORD own_pid = GetCurrentProcessId();
  HWND window = nullptr;
  while ((window = FindWindowExW(nullptr, window, L"AntivirusGUIClass", nullptr)) != nullptr) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != 0 && pid != own_pid && LowerText(ImageOfProcess(pid)) == self) return true;
  }
  return false;
}

void HardenProcessAccess() {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(GetCurrentProcess(), SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                      &owner, nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
    return;
  }
  SID_IDENTIFIER_AUTHORITY nt_authority = SECURITY_NT_AUTHORITY;
  PSID local_system = nullptr;
  if (AllocateAndInitializeSid(&nt_authority, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &local_system)) {
    EXPLICIT_ACCESS_W entries[2] = {};
    for (auto& entry : entries) {
      entry.grfAccessPermissions = PROCESS_ALL_ACCESS;
      entry.grfAccessMode = SET_ACCESS;
      entry.grfInheritance = NO_INHERITANCE;
      entry.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    }
    entries[0].Trustee.TrusteeType = TRUSTEE_IS_USER;
    entries[0].Trustee.ptstrName = static_cast<LPWSTR>(owner);
    entries[1].Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    entries[1].Trustee.ptstrName = static_cast<LPWSTR>(local_system);

    PACL new_dacl = nullptr;
    if (SetEntriesInAclW(2, entries, nullptr, &new_dacl) == ERROR_SUCCESS) {
      SetSecurityInfo(GetCurrentProcess(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, new_dacl,
                      nullptr);
      LocalFree(new_dacl);
    }
    FreeSid(local_system);
  }
  LocalFree(descriptor);  // also owns the owner SID
}

void ComInit() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }

void ComUninit() { CoUninitialize(); }

bool IsAdministratorsMember() {
  SID_IDENTIFIER_AUTHORITY nt_authority = SECURITY_NT_AUTHORITY;
  PSID administrators = nullptr;
  if (!AllocateAndInitializeSid(&nt_authority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0,
                                0, 0, &administrators)) {
    return false;
  }
  BOOL member = FALSE;
  const bool asked = CheckTokenMembership(nullptr, administrators, &member) != 0;
  FreeSid(administrators);
  return asked && member;
}

void EndProcessNow(uint32_t exit_code) { ExitProcess(exit_code); }

std::wstring ModuleFilePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return L"";
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    if (path.size() >= 32768) return L"";
    path.resize(path.size() * 2);  // truncated: try a larger buffer
  }
}

}  // namespace platform
