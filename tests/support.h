// In-process conversions for the tests, through the core's one entry point.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/convert.h"
#include "lexer/text_run.h"

namespace tvconv::test {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// The sanitizers' allocator keeps freed blocks in quarantine and never
// remaps on realloc, so peak memory is only measured without them, and the
// largest inputs are cut down to keep the sanitizer run short.
constexpr std::size_t kScaleDown = kSanitized ? 10 : 1;

// A conversion as tvconv shows it: the output, the diagnostics as printed
// (each message and a line feed) and the exit status.
struct Outcome {
    std::string output;
    std::string diagnostics;
    int status = -1;
    Result result;
};

// tvconv's exit status for a conversion's status, for the tests that convert
// in process; ExitStatus.IsTheExecutables holds it to the real executable.
int exit_status(Status status);

// The diagnostics as tvconv prints them.
std::string printed(const std::vector<Diagnostic>& diagnostics);

Outcome convert_bytes(std::string_view input, ParserLoop loop = ParserLoop::ours);

// Output only, for tests that expect a clean conversion.
std::string convert_text(std::string_view input);

std::string read_file(const std::string& path);

// Every bulk loop of the text fast path; each conversion test runs them all.
inline constexpr BulkLoop kBulkLoops[] = {BulkLoop::ssse3, BulkLoop::sse2, BulkLoop::portable};
const char* name_of(BulkLoop loop);

// Selects a bulk loop for as long as it lives, then the one before again.
class UsingBulkLoop {
  public:
    explicit UsingBulkLoop(BulkLoop loop) : before_(selected_bulk_loop()) {
        select_bulk_loop(loop);
    }
    ~UsingBulkLoop() { select_bulk_loop(before_); }
    UsingBulkLoop(const UsingBulkLoop&) = delete;
    UsingBulkLoop& operator=(const UsingBulkLoop&) = delete;

  private:
    BulkLoop before_;
};

// The 84 operator keywords, in the scanner's order.
const std::vector<const char*>& operator_keywords();

}  // namespace tvconv::test
