#pragma once
// One-time set-up of the running process: console, identity, single instance,
// access list, COM, the program's own file.
#include <string>

namespace platform {

// Leaves any console and drops the standard handles.
void DetachConsole();

// Sets the explicit application identity shared by the window and shortcuts.
void SetAppIdentity(const wchar_t* app_id);

enum class InstanceLock { Acquired, AlreadyRunning, Failed };

// Creates the named, initially owned mutex that marks the running instance.
// Its handle is kept for the life of the process.
InstanceLock AcquireInstanceMutex(const wchar_t* name);

// Replaces the process object's access list by one that grants full access to
// the owner and LocalSystem only. Any failure leaves the old list in place.
void HardenProcessAccess();

// Initialises COM for this (single-threaded apartment) thread, and undoes it.
void ComInit();
void ComUninit();

// Full path of the program's own executable file; empty on failure.
std::wstring ModuleFilePath();

}  // namespace platform
