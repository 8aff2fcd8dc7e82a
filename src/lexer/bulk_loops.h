// The bulk loops of the text fast path: stretches of bytes that the
// automaton treats alike, copied whole (see BulkLoop in text_run.h).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "lexer/automaton.h"
#include "lexer/text_run.h"

namespace tvconv::fast_path {

// A byte is plain in a start condition when it is a text token of its own,
// copied as it is, at a line start and elsewhere alike, or a line feed
// (copied and counted). A stretch of plain bytes is copied whole: taking its
// bytes one token at a time would copy each and count the line feeds. A
// byte that is a token of its own written with a caret before it (an escape)
// is taken inside the same loop, so a stretch goes on after it. Everything
// else ends the loop: "@" (a header at a line start), NUL, and any byte that
// may begin a longer token or moves a counter. Blank runs take only spaces,
// tabs and line feeds.

enum Weight : std::uint16_t {
    kPlain = 0,
    kPlainLineFeed = 1,
    kEscape = 0x100,  // eight weights add up without a carry out of the low byte
    kEnd = 0x1000,    // nor out of the escape count
};

struct BulkClass {
    std::array<std::uint16_t, 256> weight{};  // a Weight per byte
    // For the vector loop: the bytes that are not plain, or (`listed_plain`)
    // the plain ones, whichever list is shorter; none when neither fits.
    // Each is repeated in a row of 16, one per lane; rows past the last
    // repeat the first, so that any prefix of the rows can be compared.
    int listed = 0;
    bool listed_plain = false;
    alignas(16) std::array<std::array<unsigned char, 16>, 16> rows{};
    // For the table loop, when every listed byte is below 0x80: by low
    // nibble, a bit for each high nibble that makes a listed byte, and by
    // high nibble, that bit.
    bool by_nibbles = false;
    alignas(16) std::array<unsigned char, 16> low_nibble{};
    alignas(16) std::array<unsigned char, 16> high_nibble{};
    // The escapes of one byte in the same form, when all are below 0x80:
    // the table loop then writes them inside a block instead of stopping.
    bool escapes_by_nibbles = false;
    alignas(16) std::array<unsigned char, 16> escape_low_nibble{};
    // Escapes that the byte after their first decides ("$" alone and "$$",
    // "^^" and "^;" but not a caret before a name), taken where a loop
    // stops: by the first byte a row (0: none), and in it by the second
    // byte the escape's length, or 0 where the two begin anything else.
    static constexpr std::size_t kPairRows = 4;
    std::array<std::uint8_t, 256> pair_row{};
    std::array<std::array<std::uint8_t, 256>, kPairRows> pair_length{};
    // Bytes that begin a keyword but are plain where the bytes after them
    // make none ("m" and "M" in a header's section, for "main" and
    // "MIME_TYPES"): the automaton is walked from `start` where a loop
    // stops at one, and the loop goes on past it unless a longer token
    // matches. Without this, text in a header's section would leave the
    // loop at every such byte.
    std::array<bool, 256> walked{};
    int start = 0;
    // By the byte after a walked one, whether the automaton can go no
    // further (it then matches the walked byte alone): most often the case,
    // and decided without the walk.
    std::array<bool, 256> alone_before{};
    // Whether a run may begin at the byte: plain, an escape, or either of
    // the two above.
    std::array<bool, 256> runs{};
    // Whether runs are mostly long: text, not arguments.
    bool long_runs = false;
};

constexpr int kBulkModes = 2;  // text runs, blank runs

// Where a bulk loop stands: the output, the line feeds counted, and the end
// of the last escape of two bytes taken (a run that ends there has that
// escape, not its last byte, as its last token).
struct BulkState {
    char* out;
    int lines = 0;
    const char* pair_end = nullptr;
};

// The escape at `p`, where a loop stopped: its length, or 0 when the bytes
// before `limit` do not make one.
inline int escape_at(const BulkClass& c, const char* p, const char* limit) {
    const auto b = static_cast<unsigned char>(*p);
    if (c.weight[b] == kEscape) return 1;
    const std::uint8_t row = c.pair_row[b];
    if (row == 0 || limit - p < 2) return 0;
    return c.pair_length[row][static_cast<unsigned char>(p[1])];
}

// The longest stretch a bulk loop is given in one call: short enough that
// the table loop's tally of line feeds per byte lane, one at most per block
// of 16 (plus one block begun before the end), cannot overflow.
constexpr std::size_t kLongestStretch = 4000;
static_assert(kLongestStretch / 16 + 2 <= 255);

// Whether the automaton, walked from the walked byte at `p` (see
// BulkClass::walked), matches that byte alone.
bool walk_matches_one(const BulkClass& c, const char* p, const char* limit);

// Takes the walked byte at `p` as a plain byte when it is matched alone.
inline bool take_walked(const BulkClass& c, char*& p, char*& out, const char* limit) {
    if (limit - p < 2) return false;
    if (!c.alone_before[static_cast<unsigned char>(p[1])] && !walk_matches_one(c, p, limit))
        return false;
    *out++ = *p++;
    return true;
}

// Takes the escape at `p`, where a loop stopped, writing it as a caret and
// its last byte, or a walked byte that is plain. False when there is
// neither: the loop ends at `p`.
inline bool take_escape(const BulkClass& c, char*& p, char*& out, const char* limit,
                        const char*& pair_end) {
    const int n = escape_at(c, p, limit);
    if (n == 0) return c.walked[static_cast<unsigned char>(*p)] && take_walked(c, p, out, limit);
    out[0] = '^';
    out[1] = p[n - 1];
    out += 2;
    p += n;
    if (n == 2) pair_end = p;
    return true;
}

struct BulkClasses;

using BulkLoopFn = char* (*)(const BulkClass&, char*, const char*, const char*, BulkState&);

// The class and the loop of each start condition and mode, chosen once for a
// parse rather than at every run.
struct BulkSetup {
    struct Choice {
        const BulkClass* bulk = nullptr;
        BulkLoopFn loop = nullptr;
    };
    std::array<std::array<Choice, kBulkModes>, kConditions> of{};

    BulkSetup() = default;
    BulkSetup(const BulkClasses& classes, BulkLoop loop);
};

// The set-up for the loop the tests selected (select_bulk_loop), the
// default one otherwise.
const BulkSetup& bulk_setup();

// Takes a run of plain bytes and escapes from `q` on. The first few bytes are
// taken here: most arguments of constructions are that short, and not worth
// a call of the bulk loop.
inline char* take_run(const BulkSetup::Choice& choice, char* q, const char* stretch_end,
                      const char* limit, BulkState& st) {
    constexpr std::ptrdiff_t kShortRun = 6;
    const BulkClass& bulk = *choice.bulk;
    // Outside arguments, a run whose first eight bytes are plain is seldom
    // short: the loop takes it from the start.
    if (bulk.long_runs && stretch_end - q >= 8) {
        const std::uint16_t* w = bulk.weight.data();
        auto at = [&](int i) { return w[static_cast<unsigned char>(q[i])]; };
        if (at(0) + at(1) + at(2) + at(3) + at(4) + at(5) + at(6) + at(7) < kEscape)
            return choice.loop(bulk, q, stretch_end, limit, st);
    }
    const char* short_end = stretch_end - q > kShortRun ? q + kShortRun : stretch_end;
    // In registers: `st` is handed to the bulk loop, so it lives in memory.
    char* out = st.out;
    int lines = st.lines;
    bool more = true;
    while (q < short_end) {
        const std::uint16_t w = bulk.weight[static_cast<unsigned char>(*q)];
        if (w == kPlain || w == kPlainLineFeed) {
            lines += w;
            *out++ = *q++;
            continue;
        }
        if (!take_escape(bulk, q, out, limit, st.pair_end)) {
            more = false;
            break;
        }
    }
    st.out = out;
    st.lines = lines;
    return more && q < stretch_end ? choice.loop(bulk, q, stretch_end, limit, st) : q;
}

}  // namespace tvconv::fast_path
