// libFuzzer target: converts arbitrary bytes twice, in process, and checks
// the properties of fuzz/properties.h. Any violation aborts, so libFuzzer
// keeps the input as a crash artifact.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "properties.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    tvconv::fuzz::Run first = tvconv::fuzz::convert_in_memory(input);
    tvconv::fuzz::Run second = tvconv::fuzz::convert_in_memory(input);
    std::string problem = tvconv::fuzz::violation(first, second);
    if (!problem.empty()) {
        std::fprintf(stderr, "tvconv_fuzz: %s (status %d)\ndiagnostics:\n%s\n", problem.c_str(),
                     first.status, first.diagnostics.c_str());
        std::abort();
    }
    return 0;
}
