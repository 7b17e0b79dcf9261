#include "platform/shortcuts.h"

#include <windows.h>
#include <initguid.h>  // the property keys below are defined here, not only declared
#include <objbase.h>
#include <propkey.h>
#include <propsys.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <string>

#include "platform/verified_files.h"
#include "platform/win32/window.h"

namespace platform {

namespace {
template <typename T>
void Release(T* object) {
  if (object) object->Release();
}

// A string value that borrows the text: the store copies it, so nothing is freed here.
PROPVARIANT BorrowedString(const std::wstring& text) {
  PROPVARIANT value;
  PropVariantInit(&value);
  value.vt = VT_LPWSTR;
  value.pwszVal = const_cast<wchar_t*>(text.c_str());
  return value;
}

// The link's bytes as the shell would write them to a file.
bool LinkBytes(IShellLinkW* link, std::string& bytes) {
  IPersistStream* persist = nullptr;
  if (FAILED(link->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(&persist)))) return false;
  IStream* stream = nullptr;
  bool saved = SUCCEEDED(CreateStreamOnHGlobal(nullptr, TRUE, &stream)) && SUCCEEDED(persist->Save(stream, TRUE));
  HGLOBAL memory = nullptr;
  STATSTG status{};
  if (saved && SUCCEEDED(GetHGlobalFromStream(stream, &memory)) && SUCCEEDED(stream->Stat(&status, STATFLAG_NONAME))) {
    const auto* data = static_cast<const char*>(GlobalLock(memory));
    saved = data != nullptr;
    if (saved) bytes.assign(data, static_cast<std::size_t>(status.cbSize.QuadPart));
    GlobalUnlock(memory);
  } else {
    saved = false;
  }
  Release(stream);
  Release(persist);
  return saved;
}

bool SetAppId(IPropertyStore* store, const std::wstring& app_id) {
  const PROPVARIANT value = BorrowedString(app_id);
  return SUCCEEDED(store->SetValue(PKEY_AppUserModel_ID, value)) && SUCCEEDED(store->Commit());
}
}  // namespace

bool SetWindowAppIdentity(const std::wstring& app_id) {
  const HWND window = win32::MainWindow();
  if (!window) return false;
  IPropertyStore* store = nullptr;
  if (FAILED(SHGetPropertyStoreForWindow(window, IID_IPropertyStore, reinterpret_cast<void**>(&store)))) return false;
  const bool set = SetAppId(store, app_id);
  Release(store);
  return set;
}

bool WriteShortcut(const std::wstring& link_path, const ShortcutContent& content) {
  IShellLinkW* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link)))) {
    return false;
  }
  bool saved = SUCCEEDED(link->SetPath(content.target.c_str())) &&
               SUCCEEDED(link->SetDescription(content.description.c_str())) &&
               SUCCEEDED(link->SetWorkingDirectory(content.working_folder.c_str()));
  IPropertyStore* store = nullptr;
  if (saved && SUCCEEDED(link->QueryInterface(IID_IPropertyStore, reinterpret_cast<void**>(&store)))) {
    saved = SetAppId(store, content.app_id);
  }
  // Written through verified handles, never by the shell's save to a path: a folder
  // on the way swapped for a link cannot carry the file elsewhere.
  std::string bytes;
  saved = saved && LinkBytes(link, bytes);
  if (saved) {
    const Verified replaced = ReplaceVerified(link_path, bytes);
    saved = replaced == Verified::Done ||
            (replaced == Verified::Missing && CreateNewVerified(link_path, bytes) == Verified::Done);
  }
  Release(store);
  Release(link);
  return saved;
}

bool SelectInExplorer(const std::wstring& path) {
  PIDLIST_ABSOLUTE item = nullptr;
  if (FAILED(SHParseDisplayName(path.c_str(), nullptr, &item, 0, nullptr)) || !item) return false;
  const bool shown = SUCCEEDED(SHOpenFolderAndSelectItems(item, 0, nullptr, 0));
  CoTaskMemFree(item);
  return shown;
}

}  // namespace platform
