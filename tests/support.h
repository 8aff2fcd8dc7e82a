// In-process conversions for the tests, through the same stream path as files.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "driver/conversion.h"

namespace tvconv::test {

struct Outcome {
    std::string output;
    std::string diagnostics;
    int status = -1;
};

// Converts `input` read from a memory stream (fmemopen), capturing output
// and diagnostics in memory streams.
Outcome convert_bytes(std::string_view input, Engine engine = Engine::ours);

// Output only, for tests that expect a clean conversion.
std::string convert_text(std::string_view input);

std::string read_file(const std::string& path);

// The 84 operator keywords, in the scanner's order.
const std::vector<const char*>& operator_keywords();

}  // namespace tvconv::test
