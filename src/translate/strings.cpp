// String operators. Tavrin 3 calls methods on a string variable where
// Tavrin 2 passed the string as the first argument, so each conversion first
// assigns the string to unused_variable.
#include "translate/strings.h"

#include <string>
#include <string_view>

#include "translate/build.h"
#include "translate/translate.h"

namespace tvconv::tr {

std::string char_code_escape(std::string_view literal) {
    std::size_t i = 0;
    auto is_space = [](char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
    };
    while (i < literal.size() && is_space(literal[i])) ++i;
    bool negative = false;
    if (i < literal.size() && (literal[i] == '+' || literal[i] == '-')) {
        negative = literal[i] == '-';
        ++i;
    }
    // Reduced digit by digit, so a run longer than any integer type cannot
    // overflow and still gives the code modulo 256.
    unsigned code = 0;
    for (; i < literal.size() && literal[i] >= '0' && literal[i] <= '9'; ++i)
        code = (code * 10 + static_cast<unsigned>(literal[i] - '0')) % 256;
    if (negative) code = (256 - code) % 256;

    constexpr char kHex[] = "0123456789ABCDEF";
    std::string escape = "^#";
    escape.push_back(kHex[code >> 4]);
    escape.push_back(kHex[code & 15]);
    return escape;
}

Text* length_1(Conversion& cv, Text* a) {
    return fill(cv, "$unused_variable[%s]^unused_variable.length[]", {a});
}

Text* left_2(Conversion& cv, Text* a, Text* b) {
    return fill(cv, "$unused_variable[%s]^unused_variable.left(%s)", {a, b});
}

Text* right_2(Conversion& cv, Text* a, Text* b) {
    return fill(cv, "$unused_variable[%s]^unused_variable.right(%s)", {a, b});
}

Text* mid_3(Conversion& cv, Text* a, Text* b, Text* c) {
    return fill(cv, "$unused_variable[%s]^unused_variable.mid(%s;%s)", {a, b, c});
}

Text* findstr_2(Conversion& cv, Text* a, Text* b) {
    return fill(cv, "$unused_variable[%s]^unused_variable.pos[%s]", {a, b});
}

Text* char_literal(Conversion& cv, Text* s) {
    const std::string escape = char_code_escape(s->view());
    cv.release(s);
    return fill(cv, "^#%c%c", {escape[2], escape[3]});
}

Text* char_1(Conversion& cv, Text* a) {
    Text* result = fill(cv, "^rem{^char[%s]}", {a});
    cv.diagnose_at(result, DiagnosticCode::unconvertible_form, "char",
                   "Unconvertible form of 'char' (line %d): remarked, edit manually");
    return result;
}

Text* ascii_1(Conversion& cv, Text* a) {
    Text* result = fill(cv, "^rem{^ascii[%s]}", {a});
    cv.diagnose_at(result, DiagnosticCode::unconvertible_operator, "ascii",
                   "Unconvertible operator 'ascii' (line %d): remarked, edit manually");
    return result;
}

// The split pieces come back as one row; flipping makes them the rows of
// the current table, as Tavrin 2 left them.
Text* lsplit_2(Conversion& cv, Text* a, Text* b) {
    return fill(cv, "$unused_variable[%s]$%s[^unused_variable.lsplit[%s]]$%s[^%s.flip[]]",
                {a, ctx(cv), b, ctx(cv), ctx(cv)});
}

Text* rsplit_2(Conversion& cv, Text* a, Text* b) {
    return fill(cv, "$unused_variable[%s]$%s[^unused_variable.rsplit[%s]]$%s[^%s.flip[]]",
                {a, ctx(cv), b, ctx(cv), ctx(cv)});
}

Text* toupper_1(Conversion& cv, Text* a) {
    return fill(cv, "$unused_variable[%s]^unused_variable.upper[]", {a});
}

Text* tolower_1(Conversion& cv, Text* a) {
    return fill(cv, "$unused_variable[%s]^unused_variable.lower[]", {a});
}

Text* truncate_2(Conversion& cv, Text* a, Text* b) {
    return fill(cv, "$unused_variable[%s]^unused_variable.left(%s)...", {a, b});
}

// Blank lines become paragraph tags first, so that only the remaining single
// line feeds become line breaks.
Text* unescape_br_1(Conversion& cv, Text* a) {
    return fill(cv,
                "$unused_variable[%s]$unused_variable[^unused_variable.match[\\n\\n][g]{<p>}]^"
                "unused_variable.match[\\n][g]{<br>}",
                {a});
}

}  // namespace tvconv::tr
