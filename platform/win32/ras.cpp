#include "platform/ras.h"

#include <windows.h>
#include <ras.h>
#include <raserror.h>

#include <vector>

namespace platform {

std::wstring FirstPhonebookEntry() {
  DWORD bytes = 0;
  DWORD entries = 0;
  // The first call, with no buffer, tells the size the entries need.
  const DWORD sized = RasEnumEntriesW(nullptr, nullptr, nullptr, &bytes, &entries);
  if ((sized != ERROR_BUFFER_TOO_SMALL && sized != ERROR_SUCCESS) || entries == 0 || bytes == 0) return L"";
  std::vector<RASENTRYNAMEW> names((bytes + sizeof(RASENTRYNAMEW) - 1) / sizeof(RASENTRYNAMEW));
  names[0].dwSize = sizeof(RASENTRYNAMEW);
  bytes = static_cast<DWORD>(names.size() * sizeof(RASENTRYNAMEW));
  if (RasEnumEntriesW(nullptr, nullptr, names.data(), &bytes, &entries) != ERROR_SUCCESS || entries == 0) return L"";
  return names[0].szEntryName;
}

}  // namespace platform
