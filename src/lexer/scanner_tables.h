// flex's automaton and buffer, exported from the generated scanner (see the
// end of scanner.l) so that the text fast path (lexer/automaton.h) classifies
// bytes with the scanner's own tables and moves its position as a match
// would, without seeing flex's internals. The numbers of the rules it needs
// and of the start conditions are in the generated lexer/scanner_numbers.h.
#pragma once

#include <cstdint>

#include "lexer/scanner_numbers.h"

struct yyguts_t;

namespace tvconv {

struct ScannerTables {
    static constexpr int kConditions = scanner_condition::count;

    // Full tables (-Cf): per state a row of 256 transitions, one per byte;
    // a value of 0 or less is a jam (no transition).
    const std::int16_t (*next)[256];
    const std::int16_t* accept;  // per state: the rule it accepts, 0 for none
    int states;                  // rows of `next`
    // [condition][at line start]: the state a match starts in. The first is
    // also flex's code for the condition (yy_start).
    int start_state[kConditions][2];
    // By flex's code for a condition, the condition; -1 for other numbers up
    // to the last condition's code.
    const std::int8_t* condition_of_start;
};

const ScannerTables& scanner_tables();

// The state a match starts in, for tables computed at compile time: flex
// numbers them so (BEGIN sets yy_start to 1 + 2 * condition, and a match at
// a line start begins one further on); scanner.l checks it against its own.
constexpr int scanner_start_state(int condition, int at_line_start) {
    return 1 + 2 * condition + at_line_start;
}

// Where the scanner stands between two tokens.
struct ScannerPosition {
    char* next;         // the next token's first byte
    char held;          // that byte: the buffer has a NUL in its place
    const char* limit;  // end of the data read so far
    int condition;
    bool at_line_start;
};

// Where to move the scanner: to `next`, as if it had matched the tokens up
// to there. With `last`, a token was taken: its text and length become the
// scanner's last match, and the line-start flag and start condition are
// set; without, they are left as they are.
struct ScannerAdvance {
    char* next;
    const char* last = nullptr;
    int last_length = 0;
    bool at_line_start = false;
    int condition = 0;
};

// flex's fields that a match reads and moves, held as pointers into the
// scanner object and its buffer so that the fast path reads and moves them
// in line. They exist from the scanner's first read on, and stay put until
// it is destroyed: this scanner never switches buffers.
class ScannerBuffer {
  public:
    // Takes hold of the fields; false before the scanner's first read.
    // (Defined in scanner.l, where flex's definitions are.)
    bool attach(yyguts_t* scanner);
    bool attached() const { return next_ != nullptr; }
    // The byte at the scan position.
    char held() const { return *held_; }

    ScannerPosition position() const {
        ScannerPosition at;
        at.next = *next_;
        at.held = *held_;
        at.limit = *buffer_ + *chars_read_;
        at.condition = tables_->condition_of_start[*start_];
        at.at_line_start = *at_line_start_ != 0;
        return at;
    }

    void advance(const ScannerAdvance& to) const {
        if (to.last) {
            // As a match leaves them; a refill keeps the buffer from the
            // last match's text on.
            *text_ = const_cast<char*>(to.last);
            *length_ = to.last_length;
            *at_line_start_ = to.at_line_start;
            *start_ = tables_->start_state[to.condition][0];
        }
        *next_ = to.next;
        *held_ = *to.next;
        *to.next = '\0';
    }

  private:
    char** next_ = nullptr;         // yy_c_buf_p
    char* held_ = nullptr;          // yy_hold_char
    char** buffer_ = nullptr;       // the buffer's yy_ch_buf (moved when it grows)
    int* chars_read_ = nullptr;     // yy_n_chars
    int* at_line_start_ = nullptr;  // the buffer's yy_at_bol
    int* start_ = nullptr;          // yy_start
    char** text_ = nullptr;         // yytext_ptr
    int* length_ = nullptr;         // yyleng
    const ScannerTables* tables_ = nullptr;
};

}  // namespace tvconv
