#pragma once
// Scheduled-task definitions as Windows stores them under System32\Tasks.
#include <string>

// The definition Windows writes for a task with one program action: two-blank
// indentation, CR LF line ends, the command and its arguments in elements of their own.
inline std::wstring WindowsTaskXml(const std::wstring& command, const std::wstring& arguments) {
  return L"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n"
         L"<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\r\n"
         L"  <RegistrationInfo>\r\n"
         L"    <Author>CONTOSO\\bob</Author>\r\n"
         L"    <URI>\\Updater</URI>\r\n"
         L"  </RegistrationInfo>\r\n"
         L"  <Triggers>\r\n"
         L"    <LogonTrigger>\r\n"
         L"      <Enabled>true</Enabled>\r\n"
         L"    </LogonTrigger>\r\n"
         L"  </Triggers>\r\n"
         L"  <Principals>\r\n"
         L"    <Principal id=\"Author\">\r\n"
         L"      <UserId>S-1-5-21-3623811015-3361044348-30300820-1013</UserId>\r\n"
         L"      <LogonType>InteractiveToken</LogonType>\r\n"
         L"    </Principal>\r\n"
         L"  </Principals>\r\n"
         L"  <Settings>\r\n"
         L"    <MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>\r\n"
         L"    <Enabled>true</Enabled>\r\n"
         L"  </Settings>\r\n"
         L"  <Actions Context=\"Author\">\r\n"
         L"    <Exec>\r\n"
         L"      <Command>" + command + L"</Command>\r\n"
         L"      <Arguments>" + arguments + L"</Arguments>\r\n"
         L"    </Exec>\r\n"
         L"  </Actions>\r\n"
         L"</Task>";
}

// UTF-16LE bytes of the text (each character one unit), behind the byte-order mark
// when asked for.
inline std::string Utf16Le(const std::wstring& text, bool with_mark) {
  std::string bytes = with_mark ? std::string("\xFF\xFE") : std::string();
  for (const wchar_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>((c >> 8) & 0xFF));
  }
  return bytes;
}

// The ASCII text as 8-bit bytes (UTF-8 without a mark).
inline std::string AsciiBytes(const std::wstring& text) { return std::string(text.begin(), text.end()); }
