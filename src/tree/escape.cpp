#include "tree/escape.h"

#include <functional>

namespace tvconv::tree {

namespace {

void put_hex(std::string& out, unsigned value, const HexEscape& e) {
    static constexpr char kLower[] = "0123456789abcdef", kUpper[] = "0123456789ABCDEF";
    const char* digits = e.upper ? kUpper : kLower;
    out += e.prefix;
    for (int shift = 4 * (e.digits - 1); shift >= 0; shift -= 4)
        out += digits[(value >> shift) & 15];
    out += e.suffix;
}

std::string hex_text(unsigned value, const HexEscape& e) {
    std::string out;
    put_hex(out, value, e);
    return out;
}

// A policy whose ASCII bytes are filled in by `each` (which leaves a byte
// as itself by returning an empty text).
EscapePolicy make(bool utf8, HexEscape byte, HexEscape character,
                  const std::function<std::string(unsigned char)>& each) {
    EscapePolicy p;
    p.utf8 = utf8;
    p.byte = byte;
    p.character = character;
    for (unsigned c = 0; c < 128; ++c) p.ascii[c] = each(static_cast<unsigned char>(c));
    return p;
}

bool is_control(unsigned char c) {
    return c < 0x20 || c == 0x7f;
}

// How the terminal and the HTML page show a byte or a character: by its
// value, the same in both, a control byte (but a tab, which breaks no line)
// as \xNN like a byte that is not UTF-8, a C1 control or a character that
// reorders text as \uXXXX. The HTML page marks them up, the terminal doubles
// a backslash, so that an escape is never taken for the text it shows.
constexpr HexEscape kShownByte{"\\x", 2}, kShownCharacter{"\\u", 4};

bool shown_by_value(unsigned char c) {
    return is_control(c) && c != '\t';
}

// The same escapes, marked up for the HTML page.
constexpr HexEscape kMarkedByte{"<span class=\"byte\">\\x", 2, false, "</span>"},
    kMarkedCharacter{"<span class=\"byte\">\\u", 4, false, "</span>"};
static_assert(kMarkedByte.prefix.ends_with(kShownByte.prefix) &&
              kMarkedCharacter.prefix.ends_with(kShownCharacter.prefix));

}  // namespace

const EscapePolicy& terminal_policy() {
    static const EscapePolicy p = make(true, kShownByte, kShownCharacter, [](unsigned char c) {
        if (c == '\\') return std::string("\\\\");
        return shown_by_value(c) ? hex_text(c, kShownByte) : std::string();
    });
    return p;
}

const EscapePolicy& json_policy() {
    static const EscapePolicy p = make(true, {"\\udc", 2}, {}, [](unsigned char c) {
        if (c == '"' || c == '\\') return std::string(1, '\\') + char(c);
        return is_control(c) ? hex_text(c, {"\\u", 4}) : std::string();
    });
    return p;
}

const EscapePolicy& html_policy() {
    static const EscapePolicy p = make(true, kMarkedByte, kMarkedCharacter, [](unsigned char c) {
        switch (c) {
            case '&':
                return std::string("&amp;");
            case '<':
                return std::string("&lt;");
            case '>':
                return std::string("&gt;");
            case '"':
                return std::string("&quot;");
            case '\'':
                return std::string("&#39;");
        }
        return shown_by_value(c) ? hex_text(c, kMarkedByte) : std::string();
    });
    return p;
}

const EscapePolicy& unicode_policy() {
    static const EscapePolicy p =
        make(true, {"\\x", 2}, {}, [](unsigned char) { return std::string(); });
    return p;
}

const EscapePolicy& diff_name_policy() {
    static const EscapePolicy p = make(false, {}, {}, [](unsigned char c) {
        switch (c) {
            case '"':
                return std::string("\\\"");
            case '\\':
                return std::string("\\\\");
            case '\t':
                return std::string("\\t");
            case '\n':
                return std::string("\\n");
        }
        if (!is_control(c)) return std::string();
        return std::string{'\\', char('0' + (c >> 6)), char('0' + ((c >> 3) & 7)),
                           char('0' + (c & 7))};
    });
    return p;
}

const EscapePolicy& uri_policy() {
    static const EscapePolicy p = make(false, {"%", 2, true}, {}, [](unsigned char c) {
        bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                     c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
        return plain ? std::string() : hex_text(c, {"%", 2, true});
    });
    return p;
}

void escape_to(std::string& out, std::string_view s, const EscapePolicy& p) {
    std::size_t i = 0;
    while (i < s.size()) {
        // A run that stays as it is goes over in one piece.
        std::size_t run = i;
        while (run < s.size() && static_cast<unsigned char>(s[run]) < 0x80 &&
               p.ascii[static_cast<unsigned char>(s[run])].empty())
            ++run;
        out.append(s, i, run - i);
        if ((i = run) == s.size()) break;
        const unsigned char c = s[i];
        if (c < 0x80) {
            out += p.ascii[c];
            ++i;
            continue;
        }
        const std::size_t n = p.utf8 ? utf8_length(s, i) : 0;
        if (n == 0) {
            if (p.byte.digits)
                put_hex(out, c, p.byte);
            else
                out += char(c);
            ++i;
            continue;
        }
        const char32_t cp = utf8_decode(s, i, n);
        if (p.character.digits && (cp < 0xA0 || reorders_text(cp)))
            put_hex(out, static_cast<unsigned>(cp), p.character);
        else
            out.append(s, i, n);
        i += n;
    }
}

std::string escape(std::string_view s, const EscapePolicy& policy) {
    std::string out;
    out.reserve(s.size());
    escape_to(out, s, policy);
    return out;
}

std::size_t utf8_length(std::string_view s, std::size_t i) {
    unsigned char c = s[i];
    std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return 0;
    for (std::size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 0;
    unsigned char c1 = s[i + (n > 1)];
    if ((n == 2 && c < 0xC2) || (n == 3 && c == 0xE0 && c1 < 0xA0) ||
        (n == 3 && c == 0xED && c1 >= 0xA0) || (n == 4 && c == 0xF0 && c1 < 0x90) ||
        (n == 4 && (c > 0xF4 || (c == 0xF4 && c1 >= 0x90))))
        return 0;
    return n;
}

bool is_utf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        if (static_cast<unsigned char>(s[i]) < 0x80) {
            ++i;
            continue;
        }
        std::size_t n = utf8_length(s, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

char32_t utf8_decode(std::string_view s, std::size_t i, std::size_t length) {
    static constexpr unsigned char kLeadMask[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    char32_t cp = static_cast<unsigned char>(s[i]) & kLeadMask[length];
    for (std::size_t k = 1; k < length; ++k)
        cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    return cp;
}

bool reorders_text(char32_t cp) {
    return cp == 0x061C || cp == 0x200E || cp == 0x200F || (cp >= 0x202A && cp <= 0x202E) ||
           (cp >= 0x2066 && cp <= 0x2069);
}

}  // namespace tvconv::tree
