// The syntax-error report of both parser loops.
#pragma once

#include <string>
#include <string_view>

#include "context/diagnostic.h"

namespace tvconv {

class Conversion;

// Number of terminal symbols: `$`, `error`, `$undefined.` and the 107 tokens.
constexpr int kTerminalCount = 110;

// Name of terminal symbol `symbol` (0 to 109) as syntax errors print it.
std::string_view symbol_name(int symbol);

// "parse error, unexpected X" and, when the state shifts fewer than five
// terminals, ", expecting A or B ..." with them in symbol order.
std::string unexpected_message(int unexpected, const int* expected, int count);

// Records "Unrecognized sequence (line N): MESSAGE near 'TOKEN'".
void report_syntax_error(Conversion& cv, DiagnosticCode code, std::string_view message);

// Builds the unexpected-token message and reports it.
void report_unexpected(Conversion& cv, int unexpected, const int* expected, int count);

}  // namespace tvconv
