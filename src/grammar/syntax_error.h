// The syntax-error report of both parser loops.
#pragma once

#include <string>
#include <string_view>

#include "context/diagnostic.h"

namespace tvconv {

class Conversion;

// Name of terminal symbol `symbol` as syntax errors print it: bison's name,
// but for the first three (see syntax_error.cpp); "$undefined." for a number
// that is no terminal.
std::string_view symbol_name(int symbol);

// "parse error, unexpected X" and, when the state shifts fewer than five
// terminals, ", expecting A or B ..." with them in symbol order.
std::string unexpected_message(int unexpected, const int* expected, int count);

// Records "Unrecognized sequence (line N): MESSAGE near 'TOKEN'".
void report_syntax_error(Conversion& cv, DiagnosticCode code, std::string_view message);

// Builds the unexpected-token message and reports it.
void report_unexpected(Conversion& cv, int unexpected, const int* expected, int count);

}  // namespace tvconv
