#include "tree/encoding.h"

#include <algorithm>
#include <cstring>

namespace tvconv::tree {

std::vector<Diagnostic> encoding_warnings(std::string_view bytes) {
    std::vector<Diagnostic> out;
    auto starts = [&](std::string_view prefix) { return bytes.starts_with(prefix); };
    using namespace std::string_view_literals;
    // UTF-32 first: its little-endian mark begins with UTF-16's.
    const char* wide = starts("\xFF\xFE\0\0"sv) || starts("\0\0\xFE\xFF"sv) ? "UTF-32"
                       : starts("\xFF\xFE"sv) || starts("\xFE\xFF"sv)       ? "UTF-16"
                                                                            : nullptr;
    if (wide) {
        out.push_back(
            Diagnostic::at(DiagnosticCode::wide_encoding, 1,
                           std::string(wide) +
                               " byte-order mark: the template is not in an 8-bit encoding, so its "
                               "conversion is garbage; convert the source to UTF-8 first"));
    } else if (starts("\xEF\xBB\xBF")) {
        // A header counts only at the very start of a line; behind the mark,
        // "@name" on the first line is plain text.
        if (bytes.size() > 3 && bytes[3] == '@') {
            out.push_back(
                Diagnostic::at(DiagnosticCode::bom_hides_definition, 1,
                               "UTF-8 byte-order mark before the definition header on line 1: the "
                               "definition is lost (converted as text); remove the mark"));
        } else {
            out.push_back(
                Diagnostic::at(DiagnosticCode::utf8_bom, 1,
                               "UTF-8 byte-order mark: it stays at the start of the output; remove "
                               "it unless the site needs it"));
        }
    }
    std::size_t nul = bytes.find('\0');
    if (nul != std::string_view::npos) {
        auto count = std::count(bytes.begin(), bytes.end(), '\0');
        int line = 1 + static_cast<int>(std::count(bytes.begin(), bytes.begin() + nul, '\n'));
        out.push_back(
            Diagnostic::at(DiagnosticCode::nul_byte, line,
                           std::to_string(count) + (count == 1 ? " NUL byte" : " NUL bytes") +
                               " (the first on this line): NUL bytes are dropped from the output"));
    }
    return out;
}

}  // namespace tvconv::tree
