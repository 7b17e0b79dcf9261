#pragma once
// A splitter of command lines that follows the C runtime's rules, for tests of the
// command lines the program builds.
#include <string>
#include <vector>

// The arguments of a command line (a quoted program path with no quote inside
// splits the same way as the program's name), split as the C runtime (and, for every
// line QuoteArgument builds, CommandLineToArgvW) splits them: 2n backslashes before
// a quote give n and the quote opens or closes quoting, 2n + 1 give n and a literal
// quote, backslashes before anything else stand for themselves, and blanks outside
// quotes end an argument.
inline std::vector<std::wstring> SplitArguments(const std::wstring& line) {
  std::vector<std::wstring> arguments;
  std::size_t i = 0;
  for (;;) {
    while (i < line.size() && (line[i] == L' ' || line[i] == L'\t')) ++i;
    if (i == line.size()) return arguments;
    std::wstring argument;
    bool quoted = false;
    while (i < line.size() && (quoted || (line[i] != L' ' && line[i] != L'\t'))) {
      std::size_t backslashes = 0;
      while (i < line.size() && line[i] == L'\\') {
        ++backslashes;
        ++i;
      }
      if (i < line.size() && line[i] == L'"') {
        argument.append(backslashes / 2, L'\\');
        if (backslashes % 2 == 1) {
          argument.push_back(L'"');
        } else if (quoted && i + 1 < line.size() && line[i + 1] == L'"') {
          argument.push_back(L'"');  // "" inside quotes: a literal quote, still quoted
          ++i;
        } else {
          quoted = !quoted;
        }
        ++i;
      } else {
        argument.append(backslashes, L'\\');
        if (i < line.size() && (quoted || (line[i] != L' ' && line[i] != L'\t'))) argument.push_back(line[i++]);
      }
    }
    arguments.push_back(argument);
  }
}
