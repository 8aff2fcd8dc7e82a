// What one conversion returns: its status, the converted bytes and the
// diagnostics as records. The front ends decide how to print them.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "context/diagnostic.h"
#include "text/text.h"

namespace tvconv {

enum class Status {
    accepted,        // the whole input was converted
    syntax_error,    // the first syntax error ended the conversion
    stack_overflow,  // constructions nested too deeply for the parser's stacks
    scanner_fatal,   // the input could not be read
    out_of_memory,   // memory ran out; there is no output
};

std::string_view status_name(Status status);

// The converted document as laid out for writing: the helper methods and
// "\n@main[]\n" (only when there are helper methods), then the document,
// wrapped in a taint block when ^optimize[no] asked for it. The bytes stay
// in the pieces they were built in, so a large document is never copied
// whole on its way out.
class Output {
  public:
    // Whether the start rule handed a document back. A syntax error found
    // after the whole document (a token that cannot follow it) leaves one.
    bool present() const { return present_; }
    std::size_t size() const;
    // Calls `f(std::string_view)` for each piece in order.
    template <typename F>
    void for_each_piece(F&& f) const {
        for (std::string_view h : helpers_) f(h);
        if (!helpers_.empty()) f(std::string_view("\n@main[]\n"));
        if (taint_) f(std::string_view("^taint[html]["));
        for (const Piece& p : body_) f(std::string_view(p.data.get(), p.size));
        if (taint_) f(std::string_view("]"));
    }
    // Writes every piece to `out`; false when a write failed.
    bool write(std::FILE* out) const;
    std::string str() const;

  private:
    friend class OutputBuilder;
    struct Free {
        void operator()(char* p) const { std::free(p); }
    };
    struct Piece {
        std::unique_ptr<char, Free> data;
        std::size_t size;
    };
    bool present_ = false;
    bool taint_ = false;
    std::vector<std::string_view> helpers_;  // views into helper_bytes_ or static storage
    ByteStore helper_bytes_;
    std::vector<Piece> body_;
};

struct Result {
    Status status = Status::accepted;
    Output output;
    std::vector<Diagnostic> diagnostics;
    // How many of the diagnostics were reported before the document was
    // complete; the rest (a syntax error after it) came after.
    std::size_t diagnostics_before_output = 0;
};

}  // namespace tvconv
