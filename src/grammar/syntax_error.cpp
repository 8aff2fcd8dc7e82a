#include "grammar/syntax_error.h"

#include <iterator>
#include <new>

#include "context/conversion.h"
#include "grammar/grammar_symbols.h"
#include "grammar/parser_tables.h"

namespace tvconv {

namespace {

// The end of input, the error token and an undefined token are printed as
// the old converter printed them; bison 3.8 calls them "end of file",
// "error" and "invalid token".
constexpr std::string_view kFirstNames[] = {"$", "error", "$undefined."};
static_assert(grammar::kErrorSymbol == 1 && grammar::kUndefinedSymbol == 2);

}  // namespace

std::string_view symbol_name(int symbol) {
    if (symbol < 0 || symbol >= grammar::kTerminalCount)
        return kFirstNames[grammar::kUndefinedSymbol];
    if (symbol < static_cast<int>(std::size(kFirstNames)))
        return kFirstNames[static_cast<std::size_t>(symbol)];
    return bison_symbol_name(symbol);
}

std::string unexpected_message(int unexpected, const int* expected, int count) {
    std::string m = "parse error, unexpected ";
    m += symbol_name(unexpected);
    for (int i = 0; i < count; ++i) {
        m += i == 0 ? ", expecting " : " or ";
        m += symbol_name(expected[i]);
    }
    return m;
}

void report_syntax_error(Conversion& cv, DiagnosticCode code, std::string_view message) {
    std::string text = "Unrecognized sequence (line %d): ";
    cv.scan.settle_last_token();
    text.append(message).append(" near '").append(cv.scan.last_token).append("'");
    cv.diagnose(code, {}, text);
}

void report_unexpected(Conversion& cv, int unexpected, const int* expected, int count) {
    std::string message;
    try {
        message = unexpected_message(unexpected, expected, count);
    } catch (const std::bad_alloc&) {
        message = "parse error; also virtual memory exhausted";
    }
    report_syntax_error(cv, DiagnosticCode::syntax_error, message);
}

}  // namespace tvconv
