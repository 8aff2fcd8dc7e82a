// The context of one conversion: every piece of state that the scanner, the
// parser and the rule actions share, owned by one object so that
// conversions are reentrant and many can run in one process.
//
// The layers of the converter, each using only those before it:
//   text/       text values and the helper-method registry
//   context/    this object and the diagnostic records
//   lexer/      the flex scanner and the fast path over its tables (it uses
//               the token codes that bison generates, nothing else of grammar/)
//   translate/  the rule actions, one file per group of constructs
//   grammar/    the bison grammar, our engine loop and the syntax-error report
//   core/       the one entry point: convert, returning a Result
//   driver/ and tree/ are front ends: they call core/ and print.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "context/context_stack.h"
#include "context/diagnostic.h"
#include "text/registry.h"
#include "text/text.h"

struct yyguts_t;  // flex's scanner object (lexer/scanner.l)

namespace tvconv {

// The scanner's own state beyond flex's object.
struct ScannerState {
    static constexpr std::size_t kDefaultReadBlock = std::size_t{64} << 10;
    // The largest read: twice it must fit flex's int sizes.
    static constexpr std::size_t kLargestReadBlock = std::size_t{1} << 28;

    yyguts_t* flex = nullptr;
    // Bytes asked for at each read of the input.
    std::size_t read_block = kDefaultReadBlock;
    int param_depth = 0;      // open parameter lists
    int bracket_nesting = 0;  // plain "[" open inside parameter lists
    // Text of the most recently delivered token, kept apart from its value
    // (which an action may already have consumed) for the syntax-error line.
    // No token is longer than 13 bytes.
    char last_token[16] = {};
    // A token the fast path took ahead of the parser, its text still in the
    // scanner's buffer: copied into last_token only when that is read or
    // before the scanner runs again (settle_last_token), as most never are.
    const char* deferred_token = nullptr;
    std::size_t deferred_length = 0;

    void defer_last_token(const char* s, std::size_t n) {
        deferred_token = s;
        deferred_length = n;
    }
    void settle_last_token() {
        if (deferred_token) set_last_token(deferred_token, deferred_length);
    }

    void set_last_token(const char* s, std::size_t n) {
        deferred_token = nullptr;
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
};

// Which parser loop runs the automaton: ours (with the plain-text fast
// path) or bison's own, kept as the reference that ours is tested against.
enum class ParserLoop { ours, bison };

class Conversion {
  public:
    explicit Conversion(std::FILE* in);
    ~Conversion();
    Conversion(const Conversion&) = delete;
    Conversion& operator=(const Conversion&) = delete;

    // --- shared with the rule actions -------------------------------------
    TextPool pool;
    Registry registry;
    ContextStack contexts;
    bool optimize = true;  // cleared by ^optimize[no]: wrap in a taint block
    int line_number = 1;   // advanced by the whitespace rules only
    // The converted document, handed back by the start rule, and the texts
    // that follow it: the second and later macro definitions (see
    // tr::add_definition).
    bool document_ready = false;
    Text* document = nullptr;
    std::vector<Text*> document_tail;
    // Everything reported so far, in order, and who is told of each one as
    // it is reported (with whether the document was complete by then).
    std::vector<Diagnostic> diagnostics;
    std::function<void(const Diagnostic&, bool after_document)> on_diagnostic;

    // Given the last path component of a literal ^macro_use argument and
    // the whole argument, the name of the macro file it now has, or nothing
    // to leave the reference as it is (and report it). Unset: every
    // reference is left.
    std::function<std::optional<std::string>(std::string_view name, std::string_view reference)>
        renamed_macro_file;

    Text* make(std::string_view s) { return pool.make(s); }
    void release(Text* t) { pool.release(t); }
    // Records one diagnostic quoting the current line: `fmt` holds
    // " (line %d)" once and no other directive. Returns its index, for the
    // mark of its construct (Text::mark).
    std::size_t diagnose(DiagnosticCode code, std::string_view subject, std::string_view fmt);
    // Records one about the construct `result`, whose first byte is marked
    // so that the layout finds its output line.
    void diagnose_at(Text* result, DiagnosticCode code, std::string_view subject,
                     std::string_view fmt) {
        pool.mark(result, diagnose(code, subject, fmt));
    }
    // Records one diagnostic that quotes no line.
    void diagnose_without_line(DiagnosticCode code, std::string message);

    // --- scanner ----------------------------------------------------------
    std::FILE* const in;
    ScannerState scan;

    // --- parser stack block (grammar/) ------------------------------------
    // The parser's heap block for its stacks, tracked here so that a scanner
    // fatal error unwinding out of the parser cannot leak it.
    void* stack_alloc(std::size_t bytes);
    void stack_free(void* p);

  private:
    void* stack_block_ = nullptr;
};

// Thrown by the scanner's fatal-error hook and caught by the core's entry.
struct ScannerFatal {
    const char* message;
};

}  // namespace tvconv
