// Shared by the translate/ files: filling a construction's format string.
#pragma once

#include <initializer_list>
#include <string_view>

#include "context/conversion.h"
#include "text/text.h"

namespace tvconv::tr {

// `format`s the format string with `args` and then releases every text value
// among them, once each even when the format string uses it several times. A long
// argument may become the result itself (format_reusing); it is kept.
inline Text* fill(Conversion& cv, const FormatString& fmt, std::initializer_list<FormatArg> args) {
    Text* result = format_reusing(cv.pool, fmt, args);
    const FormatArg* const first = args.begin();
    for (const FormatArg* a = first; a != args.end(); ++a) {
        Text* source = a->source;
        if (!source || source == result) continue;
        const FormatArg* b = first;
        while (b != a && b->source != source) ++b;
        if (b == a) cv.release(source);  // its first use
    }
    return result;
}

// A construction that cannot be converted: its remark, with the diagnostic
// that tells the user to edit it (`message` quotes the line as " (line %d)").
inline Text* remarked(Conversion& cv, Text* remark, DiagnosticCode code, std::string_view subject,
                      std::string_view message) {
    cv.diagnose_at(remark, code, subject, message);
    return remark;
}

// The current context name, read when the construction is reduced.
inline std::string_view ctx(const Conversion& cv) {
    return cv.contexts.current_name();
}

}  // namespace tvconv::tr
