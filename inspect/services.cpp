#include "inspect/services.h"

#include "app/activity_log.h"
#include "engine/path_classes.h"
#include "inspect/run_keys.h"
#include "platform/services.h"

void ForEachServiceImage(uint32_t access, const ServiceVisitor& visit) { platform::VisitWin32Services(access, visit); }

bool ProgramNamesTarget(const std::wstring& program, const std::wstring& target) {
  if (program.empty()) return false;
  if (program == target) return true;
  if (program.size() < target.size() && EndsWith(target, program)) {
    const wchar_t before = target[target.size() - program.size() - 1];
    if (before == L'\\' || before == L'/' || program.front() == L'\\' || program.front() == L'/') return true;
  }
  return target.size() <= program.size() && Contains(program, target);
}

void StopServicesFor(const std::wstring& target_path) {
  // Every program path would be "contained" in an empty target.
  if (target_path.empty()) return;
  const std::wstring target = ToLowerAscii(target_path);
  ForEachServiceImage(platform::kServiceQueryConfig | platform::kServiceStop,
                      [&](const std::wstring& name, const std::wstring& image_path, const std::function<bool()>& stop) {
                        if (!ProgramNamesTarget(ToLowerAscii(ExtractExecutablePath(image_path)), target)) return;
                        if (stop()) AppendActivity(L"[ADMIN] Stopped service " + name);
                      });
}
