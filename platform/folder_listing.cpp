#include "platform/files.h"

namespace platform {

bool ListFolder(const std::wstring& folder, std::vector<FolderEntry>& entries) {
  std::vector<FolderEntry> listed;
  if (VisitFolder(folder, [&](const FolderEntry& entry) {
        listed.push_back(entry);
        return true;
      }) != 0) {
    return false;
  }
  entries = std::move(listed);
  return true;
}

}  // namespace platform
