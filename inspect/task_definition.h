#pragma once
// A scheduled task's stored definition (an XML file under System32\Tasks): its text
// in the encodings such files come in, and the program its first action starts.
#include <string>
#include <string_view>

// The definition's text. UTF-16LE when the bytes begin with its byte-order mark or
// their second byte is 0 (Windows writes every stored task so, with the mark); an
// odd last byte is dropped. Otherwise UTF-8, with or without its byte-order mark.
std::wstring DecodeTaskDefinition(std::string_view bytes);

// The program of the definition's first Command element (comments and other markup
// passed over): its text with the XML entities and character references replaced,
// blanks trimmed, and the quoted part alone when it begins with a double quote.
// Environment strings stay as written. "" when there is none.
std::wstring FirstTaskCommand(std::string_view definition_bytes);
