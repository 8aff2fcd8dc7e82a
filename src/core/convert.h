// The converter's one entry point.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "context/conversion.h"
#include "core/result.h"

namespace tvconv {

struct ConvertOptions {
    ParserLoop loop = ParserLoop::ours;
    // Bounds every text value held during the conversion; one that would
    // grow past it ends the conversion as out of memory. Unbounded by
    // default: a few nested constructions that repeat an argument make the
    // output grow exponentially, and that output is what the templates say.
    std::size_t max_text_bytes = TextPool::kUnbounded;
    // Told of each diagnostic as the conversion reports it, before the call
    // returns, so that a reader of a terminal sees a line's diagnostics as
    // soon as the line is converted. `after_document` is set for an error
    // found after the whole document was converted. Not told of running out
    // of memory (the result reports it). The output line is not known yet
    // then: only the result's diagnostics have it.
    std::function<void(const Diagnostic&, bool after_document)> on_diagnostic;
    // Bytes asked for at each read of the input, clamped to 1 ...
    // ScannerState::kLargestReadBlock. Only the tests and the fuzzer change
    // it, to put the boundaries between reads where they want them: the
    // result is the same for every size.
    std::size_t read_block = ScannerState::kDefaultReadBlock;
    // For a whole-site migration that renames macro files: given the last
    // path component of a literal ^macro_use argument and the whole
    // argument, the component's new name, or nothing. A reference so
    // renamed is rewritten and reported as a note instead of the
    // predefinitions-changed warning.
    std::function<std::optional<std::string>(std::string_view name, std::string_view reference)>
        renamed_macro_file;
};

// Converts what `in` holds from its current position to its end.
Result convert(std::FILE* in, const ConvertOptions& options = {});

// Converts `input` exactly as a file holding those bytes is converted.
Result convert(std::string_view input, const ConvertOptions& options = {});

}  // namespace tvconv
