// What must hold for every conversion of arbitrary bytes held in memory,
// beyond not crashing. Shared by the fuzz target and the replay of the fuzz
// regression inputs in the test suite.
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "driver/conversion.h"

namespace tvconv::fuzz {

struct Run {
    std::string output;
    std::string diagnostics;
    int status = -1;

    bool operator==(const Run&) const = default;
};

// Converts `input` through the library path of the executable: a stdio
// input stream (fmemopen) and output streams (open_memstream).
inline Run convert_in_memory(std::string_view input, Engine engine = Engine::ours,
                             std::size_t max_text_bytes = TextPool::kUnbounded) {
    std::string copy(input);
    // glibc's fmemopen refuses no bytes; /dev/null is an empty stream too.
    std::FILE* in =
        copy.empty() ? std::fopen("/dev/null", "r") : fmemopen(copy.data(), copy.size(), "r");
    char* out_data = nullptr;
    char* err_data = nullptr;
    std::size_t out_size = 0;
    std::size_t err_size = 0;
    std::FILE* out = open_memstream(&out_data, &out_size);
    std::FILE* err = open_memstream(&err_data, &err_size);
    if (!in || !out || !err) std::abort();

    Run r;
    r.status = convert(in, out, err, engine, max_text_bytes);
    std::fclose(in);
    std::fclose(out);
    std::fclose(err);
    r.output.assign(out_data, out_size);
    r.diagnostics.assign(err_data, err_size);
    std::free(out_data);
    std::free(err_data);
    return r;
}

// Returns what is wrong with `first` (and `second`, a conversion of the
// same bytes), or an empty string when nothing is.
inline std::string violation(const Run& first, const Run& second) {
    constexpr std::string_view kSyntax = "Unrecognized sequence (line ";
    constexpr std::string_view kAfterDocument = ", expecting $ near '";

    if (first.status != kAccepted && first.status != kFailed) {
        return "status " + std::to_string(first.status) + " for input read from memory";
    }
    if (!(first == second)) return "two conversions of the same bytes differ";

    std::size_t last = first.diagnostics.rfind(kSyntax);
    if (first.status == kAccepted) {
        if (last != std::string::npos) return "accepted, but a syntax error was reported";
        return {};
    }
    // Failed: exactly one syntax-error line, and it is the last one. The
    // token text quoted at its end is at most 13 bytes (it may be a line
    // feed), so look for the line's own end from the back.
    if (last == std::string::npos) return "failed without a syntax-error line";
    if (first.diagnostics.find(kSyntax) != last) return "more than one syntax-error line";
    std::string_view line = std::string_view(first.diagnostics).substr(last);
    if (line.size() < 3 || line.substr(line.size() - 2) != "'\n") {
        return "the syntax-error line is not the last diagnostic";
    }
    // Output only when the error came after the whole document was written:
    // then the message names the end of input as the one token expected.
    if (!first.output.empty() && line.find(kAfterDocument) == std::string_view::npos) {
        return "output written although the syntax error came before the end of the document";
    }
    return {};
}

// A few bytes of constructions that repeat an argument, nested, make an
// output of gigabytes; such inputs are converted up to this bound on each
// text value and then left unchecked.
constexpr std::size_t kTextLimit = std::size_t{16} << 20;

inline bool out_of_memory(const Run& r) {
    constexpr std::string_view kMessage = "tvconv: out of memory\n";
    return r.status == kScannerFatal && r.diagnostics.size() >= kMessage.size() &&
           r.diagnostics.compare(r.diagnostics.size() - kMessage.size(), kMessage.size(),
                                 kMessage) == 0;
}

// Converts `input` twice with our parse loop and once with bison's own (the
// reference for our plain-text fast path), and returns what is wrong.
inline std::string check_input(std::string_view input) {
    Run first = convert_in_memory(input, Engine::ours, kTextLimit);
    if (out_of_memory(first)) return {};
    Run second = convert_in_memory(input, Engine::ours, kTextLimit);
    std::string problem = violation(first, second);
    if (!problem.empty()) return problem;
    // The fast path reserves room ahead, so near the bound the reference
    // may run out where ours did not.
    Run reference = convert_in_memory(input, Engine::reference, kTextLimit);
    if (!out_of_memory(reference) && !(reference == first)) {
        problem = "bison's parse loop converts differently";
    }
    return problem;
}

}  // namespace tvconv::fuzz
