// The parser's main loop: bison's automaton, run by our own code so that
// plain text can take a fast path (see lexer/text_run.h).
#pragma once

namespace tvconv {

class Conversion;

// Runs the whole parse. Returns 0 when the input was accepted, 1 after a
// syntax error, 2 when the stacks could not grow.
int parse_document(Conversion& cv);

}  // namespace tvconv
