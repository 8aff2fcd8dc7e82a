// The table of diagnostic codes (codes.def): each code's published name,
// severity, help and place in the manual, in one line. The conversion
// reports the codes of the conversion section; the front ends report the
// others under the same names, so that every report, the SARIF rules and
// the manual pages read one list.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace tvconv {

enum class DiagnosticCode {
#define TVCONV_CODE(id, name, severity, section, help) id,
#include "context/codes.def"
#undef TVCONV_CODE
};

// How much a diagnostic asks of the user: a note is for information, a
// warning asks for a manual edit or check, an error ended the conversion
// (or, for a code of the files, left a file out of the site).
enum class Severity { note, warning, error };

// Where the code comes from, as the manual groups them: the conversion
// itself, checks of the input's bytes, or what happened to a file.
enum class CodeSection { conversion, input, files };

struct CodeInfo {
    DiagnosticCode code;
    std::string_view name;
    Severity severity;
    CodeSection section;
    std::string_view help;
};

inline constexpr CodeInfo kCodes[] = {
#define TVCONV_CODE(id, name, severity, section, help) \
    {DiagnosticCode::id, name, Severity::severity, CodeSection::section, help},
#include "context/codes.def"
#undef TVCONV_CODE
};

constexpr const CodeInfo& code_info(DiagnosticCode code) {
    return kCodes[static_cast<std::size_t>(code)];
}

// The code's published kebab-case name, such as "unconvertible-operator".
constexpr std::string_view code_name(DiagnosticCode code) {
    return code_info(code).name;
}

constexpr Severity severity(DiagnosticCode code) {
    return code_info(code).severity;
}

constexpr std::string_view severity_name(Severity s) {
    return s == Severity::note ? "note" : s == Severity::warning ? "warning" : "error";
}

// The code published as `name`, if any.
constexpr std::optional<DiagnosticCode> code_named(std::string_view name) {
    for (const CodeInfo& c : kCodes)
        if (c.name == name) return c.code;
    return std::nullopt;
}

// Every code the conversion itself reports.
inline constexpr auto kAllDiagnosticCodes = [] {
    constexpr std::size_t n = [] {
        std::size_t count = 0;
        for (const CodeInfo& c : kCodes) count += c.section == CodeSection::conversion;
        return count;
    }();
    std::array<DiagnosticCode, n> codes{};
    std::size_t i = 0;
    for (const CodeInfo& c : kCodes)
        if (c.section == CodeSection::conversion) codes[i++] = c.code;
    return codes;
}();

// Whether a diagnostic of this kind ends the conversion (the others leave
// a converted construct behind and the conversion goes on).
constexpr bool ends_conversion(DiagnosticCode code) {
    return code_info(code).section == CodeSection::conversion && severity(code) == Severity::error;
}

static_assert([] {
    for (std::size_t i = 0; i < std::size(kCodes); ++i)
        if (static_cast<std::size_t>(kCodes[i].code) != i) return false;
    return true;
}());

}  // namespace tvconv
