// What must hold for every conversion of arbitrary bytes held in memory,
// beyond not crashing. Shared by the fuzz target and the replay of the fuzz
// regression inputs in the test suite.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/convert.h"
#include "lexer/text_run.h"

namespace tvconv::fuzz {

struct Run {
    Status status = Status::accepted;
    std::string output;
    std::vector<Diagnostic> diagnostics;
    std::size_t diagnostics_before_output = 0;

    bool operator==(const Run&) const = default;
};

inline Run convert_in_memory(std::string_view input, ParserLoop loop = ParserLoop::ours,
                             std::size_t max_text_bytes = TextPool::kUnbounded,
                             std::size_t read_block = ScannerState::kDefaultReadBlock) {
    ConvertOptions options;
    options.loop = loop;
    options.max_text_bytes = max_text_bytes;
    options.read_block = read_block;
    Result r = convert(input, options);
    return Run{r.status, r.output.str(), std::move(r.diagnostics), r.diagnostics_before_output};
}

// Returns what is wrong with `first` (and `second`, a conversion of the
// same bytes), or an empty string when nothing is.
inline std::string violation(const Run& first, const Run& second) {
    if (first.status != Status::accepted && first.status != Status::syntax_error &&
        first.status != Status::stack_overflow) {
        return "status " + std::string(status_name(first.status)) + " for input read from memory";
    }
    if (!(first == second)) return "two conversions of the same bytes differ";
    // An output line is one of the output's lines (its last may be empty).
    const auto lines = std::count(first.output.begin(), first.output.end(), '\n') + 1;
    for (const Diagnostic& d : first.diagnostics)
        if (d.output_line && (*d.output_line < 1 || *d.output_line > lines))
            return "a diagnostic points to a line the output does not have";

    std::size_t ending = 0;
    for (const Diagnostic& d : first.diagnostics) ending += ends_conversion(d.code) ? 1 : 0;
    if (first.status == Status::accepted) {
        if (ending != 0) return "accepted, but an error that ends the conversion was reported";
        if (first.diagnostics_before_output != first.diagnostics.size())
            return "accepted, but diagnostics follow the output";
        return {};
    }
    // Failed: exactly one error that ends the conversion, and it is the
    // last diagnostic, with its line.
    const DiagnosticCode expected = first.status == Status::syntax_error
                                        ? DiagnosticCode::syntax_error
                                        : DiagnosticCode::stack_overflow;
    if (ending != 1) return "failed without exactly one error that ends the conversion";
    if (first.diagnostics.back().code != expected) return "the ending error is not the last one";
    if (!first.diagnostics.back().line) return "the ending error quotes no line";
    // Output only when the error came after the whole document: then the
    // only token that could have followed was the end of input.
    if (!first.output.empty() || first.diagnostics_before_output != first.diagnostics.size()) {
        constexpr std::string_view kAfterDocument = ", expecting $ near '";
        if (first.diagnostics_before_output + 1 != first.diagnostics.size() ||
            first.diagnostics.back().message.find(kAfterDocument) == std::string::npos)
            return "output although the syntax error came before the end of the document";
    }
    return {};
}

// A few bytes of constructions that repeat an argument, nested, make an
// output of gigabytes; such inputs are converted up to this bound on each
// text value and then left unchecked.
constexpr std::size_t kTextLimit = std::size_t{16} << 20;

// The reads of the second conversion, unless the fuzzer is told otherwise:
// small enough that inputs of a few kilobytes cross many of them.
constexpr std::size_t kSmallReads = 61;

// Converts `input` twice with our parse loop, the second time with the
// portable bulk loop of the plain-text fast path and reads of `read_block`
// bytes, and once with bison's own (the reference for the fast path), and
// returns what is wrong.
inline std::string check_input(std::string_view input, std::size_t read_block = kSmallReads) {
    Run first = convert_in_memory(input, ParserLoop::ours, kTextLimit);
    if (first.status == Status::out_of_memory) return {};
    const BulkLoop selected = selected_bulk_loop();
    select_bulk_loop(BulkLoop::portable);
    Run second = convert_in_memory(input, ParserLoop::ours, kTextLimit, read_block);
    select_bulk_loop(selected);
    std::string problem = violation(first, second);
    if (!problem.empty()) return problem;
    // The fast path reserves room ahead, so near the bound the reference
    // may run out where ours did not.
    Run reference = convert_in_memory(input, ParserLoop::bison, kTextLimit);
    if (reference.status != Status::out_of_memory && !(reference == first)) {
        problem = "bison's parse loop converts differently";
    }
    return problem;
}

}  // namespace tvconv::fuzz
