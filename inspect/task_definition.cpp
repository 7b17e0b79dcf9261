#include "inspect/task_definition.h"

#include <cstdint>

#include "app/wide.h"

namespace {
constexpr std::wstring_view kOpen = L"<Command";
constexpr std::wstring_view kClose = L"</Command";
constexpr std::wstring_view kComment = L"<!--";
constexpr std::wstring_view kCdata = L"<![CDATA[";

bool StartsAt(std::wstring_view text, std::size_t at, std::wstring_view prefix) {
  return text.compare(at, prefix.size(), prefix) == 0;
}

bool IsXmlBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

// A name ends at a blank, "/" or ">": "<Command>" and "<Command />" open the element,
// "<CommandLine>" does not.
bool EndsName(std::wstring_view text, std::size_t at) {
  return at >= text.size() || IsXmlBlank(text[at]) || text[at] == L'/' || text[at] == L'>';
}

// The position just past the markup that starts at "at" ("<!-- -->", "<![CDATA[ ]]>",
// "<? ?>" or any other tag up to its ">"); the end of the text when it is not closed.
std::size_t PastMarkup(std::wstring_view text, std::size_t at) {
  std::wstring_view end = L">";
  if (StartsAt(text, at, kComment)) {
    end = L"-->";
  } else if (StartsAt(text, at, kCdata)) {
    end = L"]]>";
  } else if (StartsAt(text, at, L"<?")) {
    end = L"?>";
  }
  const std::size_t found = text.find(end, at + 1);
  return found == std::wstring_view::npos ? text.size() : found + end.size();
}

// The character a reference between "&" and ";" stands for; false when it is none
// XML defines (it is then kept as written).
bool ResolveReference(std::wstring_view name, std::wstring& out) {
  static const struct {
    std::wstring_view name;
    wchar_t character;
  } kEntities[] = {{L"amp", L'&'}, {L"quot", L'"'}, {L"apos", L'\''}, {L"lt", L'<'}, {L"gt", L'>'}};
  for (const auto& entity : kEntities) {
    if (name == entity.name) {
      out.push_back(entity.character);
      return true;
    }
  }
  if (name.size() < 2 || name[0] != L'#') return false;
  const bool hex = name[1] == L'x';
  const std::wstring_view digits = name.substr(hex ? 2 : 1);
  if (digits.empty() || digits.size() > 8) return false;
  uint32_t cp = 0;
  for (const wchar_t c : digits) {
    uint32_t digit = 0;
    if (c >= L'0' && c <= L'9') {
      digit = c - L'0';
    } else if (hex && c >= L'a' && c <= L'f') {
      digit = c - L'a' + 10;
    } else if (hex && c >= L'A' && c <= L'F') {
      digit = c - L'A' + 10;
    } else {
      return false;
    }
    cp = cp * (hex ? 16 : 10) + digit;
  }
  if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
  AppendCodePoint(out, cp);
  return true;
}

// The character data of an element from "at" to its end tag: references resolved,
// CDATA taken as it stands, comments left out. False when another tag comes first or
// the element is not closed.
bool ElementText(std::wstring_view text, std::size_t at, std::wstring& out) {
  while (at < text.size()) {
    const wchar_t c = text[at];
    if (c == L'<') {
      if (StartsAt(text, at, kClose) && EndsName(text, at + kClose.size())) return true;
      if (StartsAt(text, at, kCdata)) {
        const std::size_t end = text.find(L"]]>", at);
        if (end == std::wstring_view::npos) return false;
        out.append(text.substr(at + kCdata.size(), end - at - kCdata.size()));
        at = end + 3;
        continue;
      }
      if (!StartsAt(text, at, kComment)) return false;
      at = PastMarkup(text, at);
      continue;
    }
    if (c == L'&') {
      const std::size_t semicolon = text.find(L';', at);
      // References are short; a lone "&" (not well-formed) stands for itself.
      if (semicolon != std::wstring_view::npos && semicolon - at <= 10 &&
          ResolveReference(text.substr(at + 1, semicolon - at - 1), out)) {
        at = semicolon + 1;
        continue;
      }
    }
    out.push_back(c);
    ++at;
  }
  return false;
}

std::wstring ProgramOf(std::wstring_view command) {
  std::size_t first = 0;
  std::size_t last = command.size();
  while (first < last && IsXmlBlank(command[first])) ++first;
  while (last > first && IsXmlBlank(command[last - 1])) --last;
  command = command.substr(first, last - first);
  if (command.empty() || command.front() != L'"') return std::wstring(command);
  // A quoted program is the text up to the closing quote; what follows it is arguments.
  const std::size_t closing = command.find(L'"', 1);
  return std::wstring(command.substr(1, closing == std::wstring_view::npos ? std::wstring_view::npos : closing - 1));
}
}  // namespace

std::wstring DecodeTaskDefinition(std::string_view bytes) {
  if (bytes.substr(0, 2) == "\xFF\xFE") return FromUtf16Le(bytes.substr(2));
  if (bytes.size() >= 2 && bytes[0] != '\0' && bytes[1] == '\0') return FromUtf16Le(bytes);
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  return FromUtf8(bytes);
}

std::wstring FirstTaskCommand(std::string_view definition_bytes) {
  const std::wstring text = DecodeTaskDefinition(definition_bytes);
  const std::wstring_view view = text;
  std::size_t at = view.find(L'<');
  while (at != std::wstring_view::npos) {
    if (StartsAt(view, at, kOpen) && EndsName(view, at + kOpen.size())) {
      const std::size_t tag_end = view.find(L'>', at);
      if (tag_end == std::wstring_view::npos) return L"";
      if (view[tag_end - 1] == L'/') return L"";  // <Command/>: an empty first command
      std::wstring command;
      if (!ElementText(view, tag_end + 1, command)) return L"";
      return ProgramOf(command);
    }
    at = view.find(L'<', PastMarkup(view, at));
  }
  return L"";
}
