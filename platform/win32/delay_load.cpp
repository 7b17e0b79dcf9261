// The delay-load helper that the delay-import thunks of the linked system
// libraries call (cmake/delay_imports.cmake). A library that is not a KnownDLL is
// loaded on its first call, and only from System32: a DLL of the same name in the
// program's folder, which an unelevated user may be able to write, is never
// looked at, whether or not the process search restriction is in effect yet.
// Linked as an object so that it, not the MinGW runtime's LoadLibraryA helper,
// answers the thunks.
#include <windows.h>

#include <delayimp.h>

#include <string>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

// The codes Windows tools know for a failed delay load.
constexpr DWORD kModuleNotFound = VcppException(ERROR_SEVERITY_ERROR, ERROR_MOD_NOT_FOUND);
constexpr DWORD kProcedureNotFound = VcppException(ERROR_SEVERITY_ERROR, ERROR_PROC_NOT_FOUND);

template <typename T>
T* AtRva(RVA rva) {
  return reinterpret_cast<T*>(reinterpret_cast<BYTE*>(&__ImageBase) + rva);
}

std::wstring Widen(const char* ascii) {
  std::wstring wide;
  for (; *ascii; ++ascii) wide.push_back(static_cast<unsigned char>(*ascii));
  return wide;
}

// A missing system library or function is a broken install, not something to
// work around by looking elsewhere: say which, then stop with the standard code.
[[noreturn]] void FailDelayLoad(DWORD code, const std::wstring& what) {
  const std::wstring line = L"[SYSTEM] Cannot load " + what + L".";
  OutputDebugStringW(line.c_str());
  RaiseException(code, EXCEPTION_NONCONTINUABLE, 0, nullptr);
  ExitProcess(code);
}

HMODULE LoadFromSystem32(const char* dll) {
  const HMODULE module = LoadLibraryExW(Widen(dll).c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (!module) FailDelayLoad(kModuleNotFound, Widen(dll) + L" from System32");
  return module;
}

}  // namespace

extern "C" FARPROC WINAPI __delayLoadHelper2(PCImgDelayDescr descriptor, FARPROC* iat_entry) {
  // dlltool writes table offsets; a table of addresses would be misread below.
  if (!(descriptor->grAttrs & dlattrRva)) FailDelayLoad(kModuleNotFound, L"a delay-import table of addresses");
  const char* dll = AtRva<const char>(descriptor->rvaDLLName);
  auto* module_slot = AtRva<HMODULE>(descriptor->rvaHmod);

  // Two threads may race to the first call; the loser drops its extra reference.
  // The winner's module stays loaded for the life of the process, as an import would.
  auto module = static_cast<HMODULE>(InterlockedCompareExchangePointer(
      reinterpret_cast<PVOID volatile*>(module_slot), nullptr, nullptr));
  if (!module) {
    const HMODULE loaded = LoadFromSystem32(dll);
    module = static_cast<HMODULE>(InterlockedCompareExchangePointer(
        reinterpret_cast<PVOID volatile*>(module_slot), loaded, nullptr));
    if (module) {
      FreeLibrary(loaded);
    } else {
      module = loaded;
    }
  }

  // The name table runs parallel to the delay-import address table.
  const auto* names = AtRva<const IMAGE_THUNK_DATA>(descriptor->rvaINT);
  const IMAGE_THUNK_DATA& entry = names[iat_entry - AtRva<FARPROC>(descriptor->rvaIAT)];
  FARPROC function = nullptr;
  std::wstring what;
  if (IMAGE_SNAP_BY_ORDINAL(entry.u1.Ordinal)) {
    const WORD ordinal = static_cast<WORD>(IMAGE_ORDINAL(entry.u1.Ordinal));
    function = GetProcAddress(module, MAKEINTRESOURCEA(ordinal));
    what = L"ordinal " + std::to_wstring(ordinal);
  } else {
    const char* name = reinterpret_cast<const char*>(
        AtRva<const IMAGE_IMPORT_BY_NAME>(static_cast<RVA>(entry.u1.AddressOfData))->Name);
    function = GetProcAddress(module, name);
    what = Widen(name);
  }
  if (!function) FailDelayLoad(kProcedureNotFound, what + L" from " + Widen(dll));

  InterlockedExchangePointer(reinterpret_cast<PVOID volatile*>(iat_entry), reinterpret_cast<PVOID>(function));
  return function;
}
