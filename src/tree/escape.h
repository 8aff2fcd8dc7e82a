// How bytes from templates and file names are shown in each report: one
// routine reads the bytes (as UTF-8 characters, or byte by byte) and a
// policy per view says what each ASCII byte, each byte that is not UTF-8 and
// each character that could hide or reorder text becomes.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace tvconv::tree {

// A byte or a character shown as PREFIX, its value in `digits` hex digits
// (2 for a byte, 4 for a character), and SUFFIX. No digits: shown as it is.
struct HexEscape {
    constexpr HexEscape() = default;
    constexpr HexEscape(std::string_view prefix_, int digits_, bool upper_ = false,
                        std::string_view suffix_ = {})
        : prefix(prefix_), digits(digits_), upper(upper_), suffix(suffix_) {}
    std::string_view prefix;
    int digits = 0;
    bool upper = false;
    std::string_view suffix;
};

struct EscapePolicy {
    // Whether UTF-8 sequences are read as characters; otherwise every byte
    // at or above 0x80 is treated as a byte that is not UTF-8.
    bool utf8 = true;
    // What each ASCII byte becomes; empty: itself.
    std::array<std::string, 128> ascii;
    HexEscape byte;       // a byte that is not part of a UTF-8 sequence
    HexEscape character;  // a C1 control, or a character that reorders text
};

// The policies of the views.
const EscapePolicy& terminal_policy();   // one report line stays one line
const EscapePolicy& json_policy();       // a JSON string body, bytes as U+DCxx
const EscapePolicy& html_policy();       // HTML text, every odd byte shown
const EscapePolicy& unicode_policy();    // Unicode text: stray bytes as \xXX
const EscapePolicy& diff_name_policy();  // inside C-style quotes
const EscapePolicy& uri_policy();        // a URI path, percent-encoded

void escape_to(std::string& out, std::string_view s, const EscapePolicy& policy);
std::string escape(std::string_view s, const EscapePolicy& policy);

// `s` for a terminal line. Control bytes but a tab are shown as \xNN, so
// that one report line stays one line (a syntax error can quote a line feed
// as its token); C1 controls and the characters that reorder text on screen
// (bidirectional overrides and isolates) as \uXXXX; bytes that are not UTF-8
// as \xNN, since a terminal may take a lone byte for a control. The HTML
// page shows every byte the same way (html_text).
inline std::string printable(std::string_view s) {
    return escape(s, terminal_policy());
}

// `bytes` as HTML text: a byte that is not UTF-8 is shown as \xXX, a control
// or a character that reorders text as \uXXXX.
inline std::string html_text(std::string_view s) {
    return escape(s, html_policy());
}

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
