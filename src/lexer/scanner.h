// The scanner's interface to the rest of the converter (rules in scanner.l).
#pragma once

#include <cstddef>

#include "context/conversion.h"
#include "text/text.h"

namespace tvconv {

// Creates the reentrant scanner reading cv.in, with cv as its extra data,
// in cv.scan.
void scanner_create(Conversion& cv);
void scanner_destroy(ScannerState& scan);

// Returns the next token code (0 at the end of input) and stores the token's
// text value in *value: a new value for tokens that can be text, nullptr for
// operator keywords and structure tokens.
int next_token(Text** value, yyguts_t* scanner);

// The size of the scanner's buffer for reads of `read_block` bytes: room
// for a whole read behind the unfinished token that a refill keeps.
constexpr int scanner_buffer_size(std::size_t read_block) {
    return static_cast<int>(2 * read_block);
}

// Ends the conversion with a scanner fatal error (throws ScannerFatal).
[[noreturn]] void scanner_fatal(const char* message);

}  // namespace tvconv
