#pragma once
// One-time set-up of the running process: console, identity, single instance,
// access list, COM, the program's own file.
#include <cstdint>
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

// After AlreadyRunning: takes the mutex over when its holder is gone or never held
// it (WaitForSingleObject answers at once with the mutex ours); false while a
// running thread holds it.
bool TakeOverInstanceMutex();

// True when a window of the class "AntivirusGUIClass" belongs to a process whose
// image is this very program file (a running instance, shown or hidden).
bool InstanceWindowOfThisProgram();

// Replaces the process object's access list by one that grants full access to
// the owner and LocalSystem only. Any failure leaves the old list in place.
void HardenProcessAccess();

// Initialises COM for this (single-threaded apartment) thread, and undoes it.
void ComInit();
void ComUninit();

// Full path of the program's own executable file; empty on failure.
std::wstring ModuleFilePath();

// True when the process token is a member of the local Administrators group
// (CheckTokenMembership); false when it is not or the question fails.
bool IsAdministratorsMember();

// Ends the process at once with the exit code (ExitProcess), without the normal
// shutdown. The stand-in records the code and returns.
void EndProcessNow(uint32_t exit_code);

}  // namespace platform
