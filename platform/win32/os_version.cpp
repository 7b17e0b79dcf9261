#include "platform/os_version.h"

#include <windows.h>

namespace platform {

uint32_t OsBuildNumber() {
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  if (!ntdll) return 0;
  const auto rtl_get_version =
      reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
  if (!rtl_get_version) return 0;
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (rtl_get_version(&info) != 0) return 0;
  return info.dwBuildNumber;
}

bool OsIsWorkstation() {
  OSVERSIONINFOEXW info{};
  info.dwOSVersionInfoSize = sizeof info;
  info.wProductType = VER_NT_WORKSTATION;
  const DWORDLONG mask = VerSetConditionMask(0, VER_PRODUCT_TYPE, VER_EQUAL);
  return VerifyVersionInfoW(&info, VER_PRODUCT_TYPE, mask) != FALSE;
}

}  // namespace platform
