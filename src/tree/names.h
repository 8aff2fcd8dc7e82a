// Which files are templates, what their converted files are called, and how
// messages and file names are shown in the report.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tvconv::tree {

// Whether `name` ends in "." and one of `extensions` (lower case), ignoring
// ASCII case, with something before the dot.
bool is_template(std::string_view name, const std::vector<std::string>& extensions);

// The file name a converted template is written under: macro files take the
// target's extension, "NAME.cfg" and "_NAME.cfg" become "NAME.tvx", and
// "tavrin.cfg" becomes "auto.tvx"; any other name is kept.
std::string converted_name(std::string_view name);

// `s` for a terminal line. Control bytes are shown as C escapes, so that one
// report line stays one line (a syntax error can quote a line feed as its
// token); C1 controls and the characters that reorder text on screen
// (bidirectional overrides and isolates) as \uXXXX; bytes that are not UTF-8
// as \xXX, since a terminal may take a lone byte for a control.
std::string printable(std::string_view s);

// Length of the UTF-8 sequence that starts at s[i], or 0 when none does
// (overlong forms and surrogates are not UTF-8).
std::size_t utf8_length(std::string_view s, std::size_t i);

// Whether all of `s` is UTF-8.
bool is_utf8(std::string_view s);

// Whether `cp` is a bidirectional mark, override or isolate: a character
// that changes the order in which the text after it is shown.
bool reorders_text(char32_t cp);

// The code point of the UTF-8 sequence of `length` bytes at s[i].
char32_t utf8_decode(std::string_view s, std::size_t i, std::size_t length);

}  // namespace tvconv::tree
