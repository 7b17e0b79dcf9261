#include "platform/trust.h"

#include "platform/standin/machine.h"

namespace platform {

bool VerifyFileSignature(const std::wstring& path) {
  standin::NoteOpen(path);  // the signature check reads the file itself
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  return standin::TheMachine().signed_paths.count(path) > 0;
}

}  // namespace platform

namespace standin {

void MarkSigned(const std::wstring& windows_path) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().signed_paths.insert(windows_path);
}

}  // namespace standin
