#include "inspect/services.h"

#include "app/activity_log.h"
#include "engine/path_classes.h"
#include "inspect/run_keys.h"
#include "platform/environment.h"
#include "platform/services.h"

void ForEachServiceImage(uint32_t access, const ServiceVisitor& visit) { platform::VisitWin32Services(access, visit); }

namespace {
bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// The target stands in the program path as whole components: it begins the path or
// follows a separator ("\\?\" prefixes included), and ends it. A folder a user made
// whose path begins another program's ("...\\vend" in "...\\vendor\\svc.exe") is no match.
bool ContainsAsWholePath(const std::wstring& program, const std::wstring& target) {
  if (target.empty() || target.size() > program.size()) return false;
  const std::size_t at = program.size() - target.size();
  return program.compare(at, target.size(), target) == 0 && (at == 0 || IsSeparator(program[at - 1]));
}
}  // namespace

bool ProgramNamesTarget(const std::wstring& program, const std::wstring& target) {
  if (program.empty()) return false;
  if (program == target) return true;
  if (program.size() < target.size() && EndsWith(target, program)) {
    const wchar_t before = target[target.size() - program.size() - 1];
    if (IsSeparator(before) || IsSeparator(program.front())) return true;
  }
  return ContainsAsWholePath(program, target);
}

std::wstring ProgramPathOf(const std::wstring& command_line) {
  return ToLowerAscii(platform::ExpandEnvironmentText(ExtractExecutablePath(command_line)));
}

void StopServicesFor(const std::wstring& target_path) {
  // Every program path would be "contained" in an empty target.
  if (target_path.empty()) return;
  const std::wstring target = ToLowerAscii(target_path);
  ForEachServiceImage(platform::kServiceQueryConfig | platform::kServiceStop,
                      [&](const std::wstring& name, const std::wstring& image_path, const std::function<bool()>& stop) {
                        if (!ProgramNamesTarget(ProgramPathOf(image_path), target)) return;
                        if (stop()) AppendActivity(L"[ADMIN] Stopped service " + name);
                      });
}
