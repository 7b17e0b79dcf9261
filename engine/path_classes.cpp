#include "engine/path_classes.h"

#include <initializer_list>

#include "app/data_dir.h"
#include "engine/pe_analysis.h"
#include "platform/files.h"

namespace {
template <typename Char>
std::basic_string<Char> LowerCopy(std::basic_string_view<Char> text) {
  std::basic_string<Char> out(text);
  for (Char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<Char>(c - 'A' + 'a');
  }
  return out;
}

bool ContainsAny(std::wstring_view lowered, std::initializer_list<std::wstring_view> patterns) {
  for (const auto pattern : patterns) {
    if (Contains(lowered, pattern)) return true;
  }
  return false;
}
}  // namespace

std::wstring ToLowerAscii(std::wstring_view text) { return LowerCopy(text); }
std::string ToLowerAscii(std::string_view text) { return LowerCopy(text); }

bool Contains(std::wstring_view text, std::wstring_view part) { return text.find(part) != std::wstring_view::npos; }

bool EndsWith(std::wstring_view text, std::wstring_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

std::wstring FileNameOf(std::wstring_view path) {
  const std::size_t cut = path.find_last_of(L"\\/");
  if (cut != std::wstring_view::npos) return std::wstring(path.substr(cut + 1));
  if (path.size() >= 2 && path[1] == L':') return std::wstring(path.substr(2));
  return std::wstring(path);
}

std::wstring ExtensionOf(std::wstring_view path) {
  std::wstring name = FileNameOf(path);
  const std::size_t stream = name.find(L':');
  if (stream != std::wstring::npos) name.resize(stream);
  if (name == L"." || name == L"..") return L"";
  const std::size_t dot = name.rfind(L'.');
  if (dot == std::wstring::npos || dot == 0) return L"";
  return name.substr(dot);
}

bool IsSystemLocation(std::wstring_view path) {
  return ContainsAny(ToLowerAscii(path),
                     {L"\\windows\\system32\\", L"\\windows\\syswow64\\", L"\\program files\\",
                      L"\\program files (x86)\\"});
}

bool IsUserWritableLocation(std::wstring_view path) {
  return ContainsAny(ToLowerAscii(path), {L"\\appdata\\", L"\\temp\\", L"\\downloads\\", L"\\desktop\\", L"\\public\\"});
}

bool IsWindowsCorePath(std::wstring_view path) {
  return ContainsAny(ToLowerAscii(path),
                     {L"\\windows\\", L"\\winsxs\\", L"\\softwaredistribution\\", L"$windows.~bt", L"$windows.~ws",
                      L"\\system32\\", L"\\syswow64\\", L"\\boot\\bcd", L"\\efi\\microsoft\\"});
}

bool IsExcludedFromScan(std::wstring_view path) {
  const std::wstring lowered = ToLowerAscii(path);
  if (ContainsAny(lowered, {L"\\windows\\winsxs\\", L"\\windows\\installer\\", L"\\windows\\servicing\\",
                            L"\\$recycle.bin\\", L"\\system volume information\\", L"pagefile.sys", L"hiberfil.sys",
                            L"swapfile.sys"})) {
    return true;
  }
  return !QuarantineDir.empty() && lowered.rfind(ToLowerAscii(QuarantineDir), 0) == 0;
}

bool IsMicrosoftFile(const std::wstring& path) {
  if (IsSystemLocation(path)) return true;
  const std::wstring lowered = ToLowerAscii(path);
  if (ContainsAny(lowered, {L"\\windows\\", L"\\program files\\windowsapps\\"})) return true;
  if (Contains(lowered, L"\\microsoft\\")) return HasValidSignature(path);
  return Contains(lowered, L"\\program files\\") && HasValidSignature(path);
}

bool IsCompleteFileName(const std::wstring& path) {
  const std::wstring extension = ToLowerAscii(ExtensionOf(path));
  for (const wchar_t* partial : {L".tmp", L".crdownload", L".part", L".download", L".partial", L".opdownload"}) {
    if (extension == partial) return false;
  }
  return !Contains(ToLowerAscii(FileNameOf(path)), L".crdownload");
}

bool QueryJudgedFileInfo(const std::wstring& path, platform::FileInfo& info) {
  if (!platform::QueryFileInfo(path, info)) return false;
  // A folder link stays a folder: the walks pass it over and nothing judges it.
  if (!info.is_reparse_point || info.is_directory) return true;
  if (!platform::QueryFileInfoOfTarget(path, info)) return false;
  info.is_reparse_point = true;
  return true;
}

bool IsCompleteFile(const std::wstring& path) {
  if (!IsCompleteFileName(path)) return false;
  platform::FileInfo info;
  if (!QueryJudgedFileInfo(path, info) || info.is_directory || info.size == 0) return false;
  return platform::CanOpenForReading(path);
}
