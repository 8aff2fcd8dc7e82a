// One conversion: every piece of state that the scanner, the parser and the
// rule actions share, owned by one object so that conversions are reentrant
// and many can run in one process (tests, the tree converter).
#pragma once

#include <cstddef>
#include <cstdio>
#include <string_view>
#include <vector>

#include "text/registry.h"
#include "text/text.h"
#include "translate/context_stack.h"

namespace tvconv {

// Result of `convert`, which is also the process exit status of `tvconv`.
enum Status : int {
    kAccepted = 0,      // the document was written
    kFailed = 1,        // syntax error or parser stack overflow
    kScannerFatal = 2,  // the input could not be read; nothing was written
};

// Which parser loop runs the automaton: ours (with the plain-text fast
// path) or bison's own, kept as the reference that ours is tested against.
enum class Engine { ours, reference };

class Conversion {
  public:
    Conversion(std::FILE* in, std::FILE* out, std::FILE* err);
    ~Conversion();
    Conversion(const Conversion&) = delete;
    Conversion& operator=(const Conversion&) = delete;

    // Runs the whole conversion once. Returns a Status.
    int run();

    // --- shared with the rule actions -------------------------------------
    TextPool pool;
    Registry registry;
    ContextStack contexts;
    bool optimize = true;  // cleared by ^optimize[no]: wrap in a taint block
    Engine engine = Engine::ours;
    // Texts that follow the document's value when it is written: the second
    // and later macro definitions (see tr::add_definition).
    std::vector<Text*> document_tail;
    int line_number = 1;  // advanced by the whitespace rules only

    Text* make(std::string_view s) { return pool.make(s); }
    void release(Text* t) { pool.release(t); }
    // Writes one diagnostic; `fmt` holds one %d for the line number.
    void diagnostic(const char* fmt);

    // --- streams ----------------------------------------------------------
    std::FILE* const in;
    std::FILE* const out;
    std::FILE* const err;

    // --- scanner state (lexer/scanner.l) ----------------------------------
    void* scanner = nullptr;
    int param_depth = 0;
    int bracket_nesting = 0;
    // Text of the most recently delivered token, kept apart from its value
    // (which an action may already have consumed) for the syntax-error line.
    // No token is longer than 13 bytes.
    char last_token[16] = {};
    void set_last_token(const char* s, std::size_t n) {
        if (n >= sizeof last_token) n = sizeof last_token - 1;
        // Fixed-size overlapping copies: this runs for nearly every token,
        // and a copy of variable length is a library call.
        if (n >= 8) {
            __builtin_memcpy(last_token, s, 8);
            __builtin_memcpy(last_token + n - 8, s + n - 8, 8);
        } else if (n >= 4) {
            __builtin_memcpy(last_token, s, 4);
            __builtin_memcpy(last_token + n - 4, s + n - 4, 4);
        } else {
            for (std::size_t i = 0; i < n; ++i) last_token[i] = s[i];
        }
        last_token[n] = '\0';
    }

    // --- parser stack block (grammar/parser.y) -----------------------------
    // The parser's heap block for its stacks, tracked here so that a scanner
    // fatal error unwinding out of the parser cannot leak it.
    void* stack_alloc(std::size_t bytes);
    void stack_free(void* p);

  private:
    void* stack_block_ = nullptr;
};

// Converts `in` to `out`, diagnostics to `err`. Returns a Status.
// `max_text_bytes` bounds every text value held during the conversion; one
// that would grow past it ends the conversion as out of memory. Unbounded by
// default: a few nested constructions that repeat an argument make the
// output grow exponentially, and that output is what the templates say.
// The fuzz target bounds it to keep its runs within their memory.
int convert(std::FILE* in, std::FILE* out, std::FILE* err, Engine engine = Engine::ours,
            std::size_t max_text_bytes = TextPool::kUnbounded);

// Thrown by the scanner's fatal-error hook and caught by Conversion::run.
struct ScannerFatal {
    const char* message;
};

}  // namespace tvconv
