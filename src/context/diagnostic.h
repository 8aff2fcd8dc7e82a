// Diagnostics as records: what a conversion reports, with a stable code for
// each kind of message, so that front ends never read meaning out of text.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "context/codes.h"

namespace tvconv {

struct Diagnostic {
    DiagnosticCode code;
    std::optional<int> line;  // the source line quoted, when the message quotes one
    std::string subject;      // the operator or construct concerned, or empty
    std::string message;      // the exact message, without its final line feed
    // Where the message quotes its line: the bytes of " (line N)", so that
    // a front end that shows the line elsewhere can leave them out.
    std::size_t line_at = 0;
    std::size_t line_length = 0;
    // The line of the output that holds the construct reported (1-based),
    // when the diagnostic belongs to one that the output holds.
    std::optional<int> output_line;

    bool operator==(const Diagnostic&) const = default;

    // The message without " (line N)".
    std::string message_without_line() const {
        if (line_length == 0) return message;
        return message.substr(0, line_at) + message.substr(line_at + line_length);
    }

    // A diagnostic about `line` whose message does not quote it: what the
    // tree tool reports and records (the line is shown beside the message).
    static Diagnostic at(DiagnosticCode code, std::optional<int> line, std::string message) {
        return Diagnostic{code, line, {}, std::move(message), 0, 0, std::nullopt};
    }
};

}  // namespace tvconv
