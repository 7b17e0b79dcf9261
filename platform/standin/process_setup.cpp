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

bool TakeOverInstanceMutex() {
  standin::Note("TakeOverInstanceMutex");
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  return standin::TheMachine().instance_mutex_freed;
}

bool InstanceWindowOfThisProgram() {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  return standin::TheMachine().instance_window;
}

void HardenProcessAccess() { standin::Note("HardenProcessAccess"); }

void ComInit() { standin::Note("ComInit"); }

void ComUninit() { standin::Note("ComUninit"); }

std::wstring ModuleFilePath() {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  return standin::TheMachine().module_path;
}

bool IsAdministratorsMember() {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  return standin::TheMachine().administrator;
}

void EndProcessNow(uint32_t exit_code) {
  standin::Note("EndProcess " + std::to_string(exit_code));
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  standin::TheMachine().process_end_codes.push_back(exit_code);
}

}  // namespace platform

namespace standin {

void SetAdministrator(bool member) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().administrator = member;
}

std::vector<uint32_t> ProcessEndCodes() {
  std::lock_guard<std::mutex> hold(MachineLock());
  return TheMachine().process_end_codes;
}

void SetInstanceWindow(bool running) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().instance_window = running;
}

void SetInstanceMutexFreed(bool freed) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().instance_mutex_freed = freed;
}

void SetModuleFilePath(const std::wstring& path) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().module_path = path;
}

}  // namespace standin
