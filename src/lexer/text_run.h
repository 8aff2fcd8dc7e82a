// The plain-text fast path: runs of text tokens taken straight from the
// scanner's buffer, without a token or a parser step each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "lexer/scanner_tables.h"

namespace tvconv {

class Conversion;
class Text;

// TextRuns::scan consumes from the scanner's buffer the longest run of
// tokens that are plain text in the current start condition (every token
// the grammar's text rules turn into characters and blanks: bytes, escapes,
// line feeds, and in parameter lists the brackets and separators that
// bracket_nesting makes text), appends their converted text to `into`, advances cv.line_number by
// the line feeds among them and leaves the scanner exactly as scanning those
// tokens one by one would: position, line-start flag, bracket counter and
// the text of the last token for error messages.
//
// It stops before the first token that is anything else, and before any
// token it cannot decide without more input (a match that reaches the end of
// the data read so far) or that holds a NUL byte; the scanner then takes
// over. With `blanks_only`, only spaces, tabs and line feeds are taken: the
// run then extends a blank run rather than a text. Returns the number of
// bytes consumed.
//
// With `pending`, it then goes on through the structure tokens that follow,
// as long as their scanner rules are plain: "]" and ";" ending or separating
// arguments, and a caret with the operator keyword and "[" after it. Each is
// queued with its text, and the scanner's start condition and counters move
// on as its rule would move them; the caller shifts them before asking the
// scanner for more, and takes each token's text as the last token's when it
// does. None of them holds a line feed, so line_number is already right for
// every action run in between.
//
// A construction that a ConstructionWriter takes is queued whole, as its
// caret (TOK_BIRD, with the caret's text) marked with its keyword token and
// argument: where the parser would shift that caret, the caller has the
// writer append the construction to the expression on top instead, and takes
// its "]" as the last token.
struct PendingTokens {
    static constexpr int kCapacity = 8;
    int count = 0;
    int next = 0;
    int code[kCapacity];
    const char* text[kCapacity];  // in the scanner's buffer, unchanged until
                                  // the scanner is next called
    std::uint8_t length[kCapacity];
    // For a construction queued whole, its keyword token (else 0) and its
    // argument, which its "]" follows.
    int construction[kCapacity];
    const char* argument[kCapacity];
    std::uint32_t argument_length[kCapacity];

    bool empty() const { return next == count; }
};

// Stretches of bytes that the automaton treats alike (each a text token of
// its own, copied as it is whatever the line-start flag, or a line feed) are
// copied in bulk. The default loop classifies 16 bytes with two table
// look-ups (SSSE3, where the processor has it); the SSE2 loop compares them
// with each byte that ends a stretch; the portable loop is what other
// targets run. Each falls back to the next where it cannot run, and the
// tests run them all.
enum class BulkLoop { ssse3, sse2, portable };
void select_bulk_loop(BulkLoop loop);
BulkLoop selected_bulk_loop();
// Lets `byte` through the bulk loops as if it were plain (-1: none). Only
// for the tests, to show that they notice a loop that takes one byte too
// many.
void let_through_bulk_loops(int byte);

// The constructions that a scan converts whole, in its stride, where the
// parser would only append their conversion to the text before them: an
// operator keyword with a single argument of bytes that are text copied as
// they are ("^item[name]"), closed in the start condition it was opened in.
// Which keywords, and their conversion, are the grammar's to say; the scan
// only recognises the shape and moves the scanner's state past it as the
// tokens' rules would.
class ConstructionWriter {
  public:
    // Whether the construction of operator token `token` (a TOK_ code) with
    // one argument is taken.
    virtual bool takes(int token) const = 0;
    // Appends to `into` the conversion of that construction with `argument`,
    // doing whatever else its reduction does.
    virtual void write(int token, std::string_view argument, Text& into) = 0;

  protected:
    ~ConstructionWriter() = default;
};

namespace fast_path {
struct BulkSetup;
}

// The fast path over one parse. It takes hold of the scanner's buffer at
// its first call after the scanner has read, and must not outlive the
// scanner. The bulk loop is chosen when it is made.
class TextRuns {
  public:
    // With `writer`, scans may convert the constructions it takes.
    explicit TextRuns(Conversion& cv, ConstructionWriter* writer = nullptr);

    // With `constructions`, those the writer takes are converted in the run,
    // or queued whole by the structure queue; the caller asks for it only
    // where the parser's stack has room for such a construction's tokens,
    // and for those of the queue before it.
    std::size_t scan(Text& into, bool blanks_only = false, PendingTokens* pending = nullptr,
                     bool constructions = false);

    // The operator names of the constructions a writer takes, each with the
    // "[" after it: those bytes are that keyword and its list whatever
    // follows.
    struct Keywords {
        struct Name {
            char text[16];
            std::size_t length;  // without the "["
            int token;
            // The text with its "[" as the bytes of one word, and the mask
            // of those bytes (0: longer than a word).
            std::uint64_t word;
            std::uint64_t mask;
        };
        static constexpr int kCapacity = 8;
        Name name[kCapacity];
        int count = 0;
        ConstructionWriter* writer = nullptr;
    };
    static Keywords keywords_of(ConstructionWriter* writer);

    // Whether a blank may come next: a blank run asked for before anything
    // else (a word after a blank, the commonest) is not worth a scan.
    bool blank_may_follow() const {
        if (!buffer_.attached()) return true;
        const char c = buffer_.held();
        return c == ' ' || c == '\t' || c == '\n';
    }

  private:
    Conversion& cv_;
    const fast_path::BulkSetup& bulk_;
    ScannerBuffer buffer_;
    Keywords keywords_;
};

}  // namespace tvconv
