#include "platform/process_setup.h"

#include "platform/standin/machine.h"

namespace platform {

void DetachConsole() { standin::Note("DetachConsole"); }

void SetAppIdentity(const wchar_t* app_id) { standin::Note("SetAppIdentity " + standin::Narrow(app_id)); }

InstanceLock AcquireInstanceMutex(const wchar_t* name) {
  standin::Note("AcquireInstanceMutex " + standin::Narrow(name));
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  return standin::TheMachine().instance_lock;
}

void HardenProcessAccess() { standin::Note("HardenProcessAccess"); }

void ComInit() { standin::Note("ComInit"); }

void ComUninit() { standin::Note("ComUninit"); }

std::wstring ModuleFilePath() { return L"C:\\Program Files\\KestruneAV\\KestruneAV.exe"; }

}  // namespace platform
