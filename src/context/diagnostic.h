// Diagnostics as records: what a conversion reports, with a stable code for
// each kind of message, so that front ends never read meaning out of text.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tvconv {

// One code per message template. The names are published (reports, man
// pages, editors' problem matchers): never rename or reuse one.
enum class DiagnosticCode {
    unconvertible_operator,   // an operator with no counterpart, remarked
    unconvertible_form,       // a form of an operator with no counterpart, remarked
    unconvertible_parameter,  // converted; one parameter needs a manual check
    ambiguous_conversion,     // converted; the result needs a manual check
    predefinitions_changed,   // ^macro_use: macro files are renamed in the target
    mime_types_removed,       // an @MIME_TYPES definition was dropped
    syntax_error,             // the first syntax error; the conversion stops
    stack_overflow,           // constructions nested too deeply; the conversion stops
    scanner_fatal,            // the input could not be read
    out_of_memory,            // memory ran out; nothing is written
    reference_rewritten,      // a ^macro_use names a renamed macro file by its new name
};

inline constexpr DiagnosticCode kAllDiagnosticCodes[] = {
    DiagnosticCode::unconvertible_operator,
    DiagnosticCode::unconvertible_form,
    DiagnosticCode::unconvertible_parameter,
    DiagnosticCode::ambiguous_conversion,
    DiagnosticCode::predefinitions_changed,
    DiagnosticCode::mime_types_removed,
    DiagnosticCode::syntax_error,
    DiagnosticCode::stack_overflow,
    DiagnosticCode::scanner_fatal,
    DiagnosticCode::out_of_memory,
    DiagnosticCode::reference_rewritten,
};

// The code's published kebab-case name, such as "unconvertible-operator".
std::string_view code_name(DiagnosticCode code);

// How much a diagnostic asks of the user: a note is for information, a
// warning asks for a manual edit or check, an error ended the conversion.
enum class Severity { note, warning, error };

constexpr Severity severity(DiagnosticCode code) {
    switch (code) {
        case DiagnosticCode::reference_rewritten:
            return Severity::note;
        case DiagnosticCode::syntax_error:
        case DiagnosticCode::stack_overflow:
        case DiagnosticCode::scanner_fatal:
        case DiagnosticCode::out_of_memory:
            return Severity::error;
        default:
            return Severity::warning;
    }
}

// Whether a diagnostic of this kind ends the conversion (the others leave
// a converted construct behind and the conversion goes on).
constexpr bool ends_conversion(DiagnosticCode code) {
    return severity(code) == Severity::error;
}

struct Diagnostic {
    DiagnosticCode code;
    std::optional<int> line;  // the source line quoted, when the message quotes one
    std::string subject;      // the operator or construct concerned, or empty
    std::string message;      // the exact message, without its final line feed
    // Where the message quotes its line: the bytes of " (line N)", so that
    // a front end that shows the line elsewhere can leave them out.
    std::size_t line_at = 0;
    std::size_t line_length = 0;

    bool operator==(const Diagnostic&) const = default;

    // The message without " (line N)".
    std::string message_without_line() const {
        if (line_length == 0) return message;
        return message.substr(0, line_at) + message.substr(line_at + line_length);
    }
};

}  // namespace tvconv
