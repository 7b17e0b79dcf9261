#include "platform/dialogs.h"

#include <windows.h>
#include <objbase.h>
#include <shobjidl.h>

#include "platform/win32/window.h"

namespace platform {

namespace {
template <typename T>
void Release(T* object) {
  if (object) object->Release();
}
}  // namespace

bool PickFolder(std::wstring& path) {
  IFileOpenDialog* dialog = nullptr;
  if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_ALL, IID_IFileOpenDialog,
                              reinterpret_cast<void**>(&dialog)))) {
    return false;
  }
  bool picked = false;
  FILEOPENDIALOGOPTIONS options = 0;
  if (SUCCEEDED(dialog->GetOptions(&options)) && SUCCEEDED(dialog->SetOptions(options | FOS_PICKFOLDERS)) &&
      SUCCEEDED(dialog->Show(win32::MainWindow()))) {
    IShellItem* item = nullptr;
    if (SUCCEEDED(dialog->GetResult(&item))) {
      PWSTR chosen = nullptr;
      if (SUCCEEDED(item->GetDisplayName(SIGDN_FILESYSPATH, &chosen)) && chosen) {
        path = chosen;
        picked = !path.empty();
        CoTaskMemFree(chosen);
      }
      Release(item);
    }
  }
  Release(dialog);
  return picked;
}

bool AskYesNo(const std::wstring& text, const std::wstring& caption) {
  return MessageBoxW(win32::MainWindow(), text.c_str(), caption.c_str(), MB_YESNO | MB_ICONWARNING) == IDYES;
}

bool AskYesNoTopmost(const std::wstring& text, const std::wstring& caption) {
  // Asked from a worker thread while the user may be in another program: topmost and
  // in the foreground so that it is not lost behind windows. 0 (no box) is not IDYES.
  return MessageBoxW(win32::MainWindow(), text.c_str(), caption.c_str(),
                     MB_YESNO | MB_ICONWARNING | MB_SETFOREGROUND | MB_TOPMOST) == IDYES;
}

bool AskYesNoQuestion(const std::wstring& text, const std::wstring& caption) {
  return MessageBoxW(win32::MainWindow(), text.c_str(), caption.c_str(), MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void ShowInformation(const std::wstring& text, const std::wstring& caption) {
  MessageBoxW(win32::MainWindow(), text.c_str(), caption.c_str(), MB_ICONINFORMATION);
}

bool AskYesNoWithoutOwner(const std::wstring& text, const std::wstring& caption) {
  return MessageBoxW(nullptr, text.c_str(), caption.c_str(), MB_YESNO | MB_ICONQUESTION) == IDYES;
}

}  // namespace platform
