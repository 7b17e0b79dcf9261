// The command a stored task definition starts, read from the bytes Windows and
// hand-made files hold.
#include "inspect/task_definition.h"

#include <gtest/gtest.h>

#include "app/wide.h"
#include "task_xml.h"

namespace {
const std::wstring kWindowsTask = WindowsTaskXml(L"%windir%\\system32\\x.exe", L"/c \"C:\\Users\\bob\\y.exe\"");
}  // namespace

TEST(TaskDefinitionTest, FirstCommandInEveryEncoding) {
  const struct {
    const char* what;
    std::string bytes;
    std::wstring command;
  } cases[] = {
      // As Windows stores every task: UTF-16LE behind its mark, CR LF, indented.
      {"utf-16 with mark", Utf16Le(kWindowsTask, true), L"%windir%\\system32\\x.exe"},
      {"utf-16 without mark", Utf16Le(kWindowsTask, false), L"%windir%\\system32\\x.exe"},
      {"utf-8 without mark", AsciiBytes(kWindowsTask), L"%windir%\\system32\\x.exe"},
      {"utf-8 with mark", "\xEF\xBB\xBF" + AsciiBytes(kWindowsTask), L"%windir%\\system32\\x.exe"},
      {"utf-16 odd last byte", Utf16Le(L"<Command>C:\\x.exe</Command>", true) + "<", L"C:\\x.exe"},
      {"utf-8 beyond ASCII", "<Command>C:\\Users\\Jos\xC3\xA9\\x.exe</Command>", L"C:\\Users\\Jos\u00E9\\x.exe"},
      {"utf-16 beyond ASCII", Utf16Le(L"<Command>C:\\\u0416\\x.exe</Command>", true), L"C:\\\u0416\\x.exe"},
      // Not a task definition at all.
      {"empty", "", L""},
      {"cut tag", "<Comm", L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(FirstTaskCommand(c.bytes), c.command);
  }
}

TEST(TaskDefinitionTest, CommandText) {
  const struct {
    const char* xml;
    const wchar_t* command;
  } cases[] = {
      // Blanks and line ends around the program are not part of it; blanks inside are.
      {"<Command>\r\n    C:\\Program Files\\App\\x.exe \t\r\n  </Command>", L"C:\\Program Files\\App\\x.exe"},
      // A quoted program: the text inside the quotes; what follows is arguments.
      {"<Command>\"C:\\a b\\x.exe\"</Command>", L"C:\\a b\\x.exe"},
      {"<Command>\"C:\\Users\\Bob\\Downloads\\a.exe\" /q</Command>", L"C:\\Users\\Bob\\Downloads\\a.exe"},
      {"<Command>&quot;C:\\a b\\x.exe&quot;</Command>", L"C:\\a b\\x.exe"},
      {"<Command>\"C:\\open quote.exe</Command>", L"C:\\open quote.exe"},
      // The predefined entities and character references.
      {"<Command>C:\\R&amp;D\\&lt;a&gt;&apos;.exe</Command>", L"C:\\R&D\\<a>'.exe"},
      {"<Command>C:\\&#85;sers\\&#x42;ob\\x.exe</Command>", L"C:\\Users\\Bob\\x.exe"},
      // What is no reference stays as written.
      {"<Command>C:\\a&b\\&nbsp;\\&#xZZ;\\&#0;.exe</Command>", L"C:\\a&b\\&nbsp;\\&#xZZ;\\&#0;.exe"},
      // Character data in a CDATA section is taken as it stands; a comment is not text.
      {"<Command><![CDATA[C:\\a&amp;b.exe]]></Command>", L"C:\\a&amp;b.exe"},
      {"<Command>C:\\a<!-- note -->.exe</Command>", L"C:\\a.exe"},
      // Only the first Command element counts, and only a Command element.
      {"<Command>C:\\1.exe</Command><Command>C:\\2.exe</Command>", L"C:\\1.exe"},
      {"<CommandLine>C:\\no.exe</CommandLine><Command >C:\\yes.exe</Command >", L"C:\\yes.exe"},
      // A commented-out or quoted element is no command; the real one after it is.
      {"<!-- <Command>C:\\decoy.exe</Command> --><Command>C:\\real.exe</Command>", L"C:\\real.exe"},
      {"<![CDATA[<Command>C:\\decoy.exe</Command>]]><Command>C:\\real.exe</Command>", L"C:\\real.exe"},
      {"<Description>&lt;Command&gt;C:\\decoy.exe</Description><Command>C:\\real.exe</Command>", L"C:\\real.exe"},
      // Elements that hold no command.
      {"<Command/><Command>C:\\late.exe</Command>", L""},
      {"<Command></Command>", L""},
      {"<Command>no end", L""},
      {"</Command><Command>", L""},
      {"<Command>C:\\x.exe<Arguments>/q</Arguments></Command>", L""},
      {"<Command", L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.xml);
    EXPECT_EQ(FirstTaskCommand(c.xml), c.command);
  }
}

TEST(TaskDefinitionTest, SurrogatePairsBecomeTheCharacterTheyEncode) {
  // U+1F600 as the pair D83D DE00, read the same on every build.
  const std::string bytes = "\xFF\xFE" + Utf16Le(L"<Command>C:\\", false) + std::string("\x3D\xD8\x00\xDE", 4) +
                            Utf16Le(L".exe</Command>", false);
  EXPECT_EQ(ToUtf8(FirstTaskCommand(bytes)), "C:\\\xF0\x9F\x98\x80.exe");
  EXPECT_EQ(ToUtf8(DecodeTaskDefinition(std::string("\xFF\xFE\x3D\xD8", 4))), "\xEF\xBF\xBD");
}
