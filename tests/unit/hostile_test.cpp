// Hostile inputs: huge, deep, binary, cut off, or placed on the scanner's
// read boundaries. Each checks the exact status and diagnostics, and the
// ones that run the real executable also bound its peak memory.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

#include "support.h"
#include "text/text.h"

namespace tvconv {
namespace {

using test::convert_bytes;

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

constexpr std::size_t kPipeChunk = 1 << 16;

struct ProcessResult {
    int status = -1;
    std::string diagnostics;
    long peak_rss_kb = 0;
};

bool write_all(int fd, const char* p, std::size_t n) {
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

// Runs the tvconv executable with standard input and output on pipes.
// `feed` writes the input (it may stop early when the write end breaks,
// since the converter stops reading at a syntax error); `sink` receives the
// output in pieces.
ProcessResult run_tvconv(const std::function<void(int)>& feed,
                         const std::function<void(std::string_view)>& sink) {
    ::signal(SIGPIPE, SIG_IGN);
    int in[2], out[2], err[2];
    if (::pipe(in) || ::pipe(out) || ::pipe(err)) ADD_FAILURE() << "pipe";
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) ::close(fd);
        ::execl(TVCONV_BINARY, "tvconv", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);

    std::thread writer([&] {
        feed(in[1]);
        ::close(in[1]);
    });
    ProcessResult r;
    std::thread errors([&] {
        char buf[4096];
        ssize_t n;
        while ((n = ::read(err[0], buf, sizeof buf)) > 0) r.diagnostics.append(buf, n);
    });
    std::string buf(kPipeChunk, '\0');
    ssize_t n;
    while ((n = ::read(out[0], buf.data(), buf.size())) != 0) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        sink(std::string_view(buf.data(), static_cast<std::size_t>(n)));
    }
    writer.join();
    errors.join();
    ::close(out[0]);
    ::close(err[0]);

    int wstatus = 0;
    struct rusage usage {};
    ::wait4(pid, &wstatus, 0, &usage);
    r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    r.peak_rss_kb = usage.ru_maxrss;
    return r;
}

TEST(Join, KeepsTheBytesInOrderWhicheverSideIsLonger) {
    TextPool pool;
    Text* r = append(pool, pool.make("ab"), pool.make("cdefgh"));
    EXPECT_EQ(r->view(), "abcdefgh");
    r = append(pool, r, pool.make("ij"));
    EXPECT_EQ(r->view(), "abcdefghij");
    r = append(pool, pool.make(""), r);
    EXPECT_EQ(r->view(), "abcdefghij");
    r = append(pool, r, pool.make(""));
    EXPECT_EQ(r->view(), "abcdefghij");
    pool.release(r);
    // Long enough for the right side's storage to grow while it takes the
    // left side's bytes in front.
    std::string left(1000, 'l'), right(100000, 'r');
    r = append(pool, pool.make(left), pool.make(right));
    EXPECT_EQ(r->view(), left + right);
    pool.release(r);
    EXPECT_EQ(pool.live(), 0u);
}

// A plain-text document is one run of text. Streamed through a pipe it is
// converted completely, and the converter holds it once (the document is
// written in one go at the end, so its size is the least it can hold).
TEST(HeavyInput, TwoHundredMegabytesOfPlainTextFromAPipe) {
    const std::string line = "The quick brown fox jumps over the lazy dog 0123456789.\n";
    const std::size_t total = (200u << 20) / kScaleDown;

    // Any output piece of up to kPipeChunk bytes is a substring of this,
    // starting at the piece's offset modulo the line length.
    std::string pattern;
    while (pattern.size() < kPipeChunk + line.size()) pattern += line;

    std::size_t received = 0;
    bool same = true;
    ProcessResult r = run_tvconv(
        [&](int fd) {
            std::string block;  // whole lines, so the input repeats `line`
            while (block.size() < (1u << 20)) block += line;
            for (std::size_t sent = 0; sent < total;) {
                std::size_t n = std::min(block.size(), total - sent);
                if (!write_all(fd, block.data(), n)) return;
                sent += n;
            }
        },
        [&](std::string_view piece) {
            // Plain letters, digits, blanks, "." and line feeds are copied
            // unchanged; compare against the repeating input as it arrives.
            std::size_t offset = received % line.size();
            if (pattern.compare(offset, piece.size(), piece) != 0) same = false;
            received += piece.size();
        });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.diagnostics, "");
    EXPECT_EQ(received, total);
    EXPECT_TRUE(same);
    if (!kSanitized) {
        long output_kb = static_cast<long>(total / 1024);
        EXPECT_LT(r.peak_rss_kb, output_kb + output_kb / 4 + 16 * 1024)
            << "peak memory " << r.peak_rss_kb << " KB for " << output_kb << " KB of output";
    }
}

}  // namespace
}  // namespace tvconv
