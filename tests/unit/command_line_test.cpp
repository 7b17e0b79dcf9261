// Quoting one argument so that a started program reads back exactly that text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/command_line.h"
#include "argv_split.h"

namespace {
TEST(CommandLineTest, SplitterFollowsTheRuntimesRules) {
  // The splitter itself, on lines whose reading the C runtime documents.
  EXPECT_EQ(SplitArguments(L"\"a b c\" d e"), (std::vector<std::wstring>{L"a b c", L"d", L"e"}));
  EXPECT_EQ(SplitArguments(L"\"ab\\\"c\" \"\\\\\" d"), (std::vector<std::wstring>{L"ab\"c", L"\\", L"d"}));
  EXPECT_EQ(SplitArguments(L"a\\\\\\b d\"e f\"g h"), (std::vector<std::wstring>{L"a\\\\\\b", L"de fg", L"h"}));
  EXPECT_EQ(SplitArguments(L"a\\\\\\\"b c d"), (std::vector<std::wstring>{L"a\\\"b", L"c", L"d"}));
  EXPECT_EQ(SplitArguments(L"a\\\\\\\\\"b c\" d e"), (std::vector<std::wstring>{L"a\\\\b c", L"d", L"e"}));
}

TEST(CommandLineTest, EveryNameComesBackAsOneArgumentUnchanged) {
  static const std::wstring kNames[] = {
      L"Office",
      L"Office VPN",                       // a blank
      L"x\" /PHONEBOOK:C:\\evil.pbk \"",   // a quote that would close the argument early
      L"x\" /disconnect",                  // the same, with a switch after it
      L"trailing\\",                       // a backslash that would escape the closing quote
      L"trailing\\\\\\",                   // three of them
      L"\\\"",                             // a backslash, then a quote
      L"\\\\\" /d \\",                     // two backslashes, a quote, a switch, one backslash
      L"a\\b\\\\c",                        // backslashes inside, before no quote
      L"\"\"",                             // two quotes
      L"\t tab and blank \t",              // blanks at both ends
      L"caf\u00e9 \u65e5\u672c",           // beyond ASCII
  };
  for (const auto& name : kNames) {
    SCOPED_TRACE(std::string(name.begin(), name.end()));
    const std::wstring quoted = QuoteArgument(name);
    EXPECT_EQ(SplitArguments(L"/before " + quoted + L" /after"),
              (std::vector<std::wstring>{L"/before", name, L"/after"}));
  }
}

TEST(CommandLineTest, QuotedFormsAsWindowsWritesThem) {
  EXPECT_EQ(QuoteArgument(L"Office"), L"\"Office\"");
  EXPECT_EQ(QuoteArgument(L"a\"b"), L"\"a\\\"b\"");
  EXPECT_EQ(QuoteArgument(L"a\\\"b"), L"\"a\\\\\\\"b\"");
  EXPECT_EQ(QuoteArgument(L"end\\\\"), L"\"end\\\\\\\\\"");
  EXPECT_EQ(QuoteArgument(L"a\\b"), L"\"a\\b\"");
}
}  // namespace
