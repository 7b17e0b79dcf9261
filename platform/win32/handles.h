#pragma once
// Owners for Win32 handles, so that every handle is closed in the function that opened it.
#include <windows.h>

#include <memory>
#include <type_traits>

namespace platform::win32 {

struct HandleCloser {
  void operator()(HANDLE handle) const {
    if (handle && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
};
using UniqueHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;

// CreateFileW reports failure as INVALID_HANDLE_VALUE; the owner holds null then.
inline UniqueHandle OwnFileHandle(HANDLE handle) {
  return UniqueHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

// CreateToolhelp32Snapshot fails the same way.
inline UniqueHandle OwnSnapshotHandle(HANDLE handle) { return OwnFileHandle(handle); }

struct ServiceHandleCloser {
  void operator()(SC_HANDLE handle) const {
    if (handle) CloseServiceHandle(handle);
  }
};
// The service control manager and its services.
using UniqueServiceHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, ServiceHandleCloser>;

}  // namespace platform::win32
