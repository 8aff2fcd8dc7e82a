// The character-code conversion of ^char[literal], exposed for its tests.
#pragma once

#include <string>
#include <string_view>

namespace tvconv::tr {

// Reads `literal` as a decimal integer (leading white space, one optional
// sign, the longest digit run; no digits is 0) and returns the target
// language's escape for that code modulo 256: "^#" and two upper-case hex
// digits. Any number of digits is taken without overflow.
std::string char_code_escape(std::string_view literal);

}  // namespace tvconv::tr
