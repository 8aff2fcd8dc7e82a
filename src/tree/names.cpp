#include "tree/names.h"

#include <cstdio>

namespace tvconv::tree {

namespace {

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

// Whether `name` is STEM.EXT with a non-empty STEM, ignoring case.
bool has_extension(std::string_view name, std::string_view ext) {
    return name.size() > ext.size() + 1 && name[name.size() - ext.size() - 1] == '.' &&
           iequals(name.substr(name.size() - ext.size()), ext);
}

}  // namespace

bool is_template(std::string_view name, const std::vector<std::string>& extensions) {
    for (const std::string& ext : extensions)
        if (has_extension(name, ext)) return true;
    return false;
}

std::string converted_name(std::string_view name) {
    if (iequals(name, "tavrin.cfg")) return "auto.tvx";
    if (!has_extension(name, "cfg")) return std::string(name);
    std::string_view stem = name.substr(0, name.size() - 4);
    // "_.cfg" keeps its underscore: the name would otherwise be hidden.
    if (stem.size() > 1 && stem.front() == '_') stem.remove_prefix(1);
    return std::string(stem) + ".tvx";
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

std::string printable(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    char buf[12];
    for (std::size_t i = 0; i < s.size();) {
        unsigned char c = s[i];
        std::size_t n = utf8_length(s, i);
        if (n == 0) {
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
            ++i;
            continue;
        }
        if (n == 1) {
            switch (c) {
                case '\n': out += "\\n"; break;
                case '\r': out += "\\r"; break;
                case '\t': out += "\\t"; break;
                case '\\': out += "\\\\"; break;
                default:
                    if (c < 0x20 || c == 0x7f) {
                        std::snprintf(buf, sizeof buf, "\\x%02x", c);
                        out += buf;
                    } else {
                        out += char(c);
                    }
            }
            ++i;
            continue;
        }
        char32_t cp = utf8_decode(s, i, n);
        if (cp < 0xA0 || reorders_text(cp)) {
            std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(cp));
            out += buf;
        } else {
            out.append(s.substr(i, n));
        }
        i += n;
    }
    return out;
}

}  // namespace tvconv::tree
