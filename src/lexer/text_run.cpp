// The plain-text fast path (see text_run.h). It reads the scanner's own
// automaton and buffer through the view the generated scanner exports
// (scanner_tables.h), so that every byte is classified by the automaton that
// the scanner rules built, never by a second copy of the rules, and it knows
// the rules and start conditions by the numbers flex gave them
// (scanner_numbers.h, generated).
#include "lexer/text_run.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "context/conversion.h"
#include "grammar/parser.h"
#include "lexer/scanner_automaton.h"
#include "lexer/scanner_numbers.h"
#include "lexer/scanner_tables.h"
#include "text/text.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#include <tmmintrin.h>
#endif

namespace tvconv {

namespace {

namespace rule = scanner_rule;
constexpr int kInitial = scanner_condition::initial;
constexpr int kOpname = scanner_condition::opname;
constexpr int kParams = scanner_condition::params;

// With full tables (-Cf) a jam is coded as the negated current state, and
// flex's own loop stops at any entry of 0 or less: 0 stands for the jam.
constexpr int kJamState = 0;

inline int next_state(const ScannerTables& t, int state, unsigned char byte) {
    int next = t.next[state][byte];
    return next > 0 ? next : kJamState;
}

// The same automaton as the compiler sees it, for the tables below, which
// are computed at compile time: a copy of flex's tables made by the build
// (scanner_automaton.h), checked against the scanner's own by a unit test.
struct Automaton {
    static constexpr int states =
        static_cast<int>(std::extent_v<decltype(scanner_automaton::yy_nxt), 0>);
    static constexpr int next(int state, int byte) {
        int n = scanner_automaton::yy_nxt[state][byte];
        return n > 0 ? n : kJamState;
    }
    static constexpr int accept(int state) { return scanner_automaton::yy_accept[state]; }
    static constexpr int start(int condition, int bol) {
        return scanner_start_state(condition, bol);
    }
};

// What a byte does when it is a whole token by itself (the automaton accepts
// it and can go no further, whatever follows).
enum Action : std::uint8_t {
    kComplex = 0,   // may be part of a longer token, or is NUL: match it fully
    kStop,          // a single-byte token that is not text
    kCopy,          // text: the byte itself
    kCaret,         // text: "^" and the byte
    kNewLine,       // a line feed
    kSemiEscape,    // ";" in text, which is "^;"
    kBracketOpen,   // "[" in a parameter list
    kBracketClose,  // "]" in a parameter list
    kSeparator,     // ";" in a parameter list
};

constexpr Action action_of_rule(int r) {
    switch (r) {
        case rule::digit:
        case rule::math:
        case rule::space:
        case rule::tab:
        case rule::point:
        case rule::symbol:
            return kCopy;
        case rule::quote:
        case rule::paren_open:
        case rule::paren_close:
        case rule::curly_open:
        case rule::curly_close:
            return kCaret;
        case rule::line_feed:
            return kNewLine;
        case rule::text_semi:
            return kSemiEscape;
        case rule::params_open:
            return kBracketOpen;
        case rule::params_close:
            return kBracketClose;
        case rule::params_semi:
            return kSeparator;
        default:
            return kStop;
    }
}

// The rules whose token converts to a caret and the token's last byte: the
// escapes of one byte and those of two ("$$" is "^$", "^^" stays).
constexpr bool caret_escape_rule(int r) {
    switch (r) {
        case rule::quote:
        case rule::paren_open:
        case rule::paren_close:
        case rule::curly_open:
        case rule::curly_close:
        case rule::text_semi:
        case rule::dollar:
        case rule::e_dollar:
        case rule::e_bird:
        case rule::e_semi:
            return true;
        default:
            return false;
    }
}

// Start conditions index the per-condition tables below.
constexpr int kConditions = ScannerTables::kConditions;

// The states from which every byte jams: their match cannot grow. NUL is
// left out: flex gives it an end-of-buffer transition from every state, and
// no rule goes on with a NUL after its first byte.
struct FinalStates {
    std::array<bool, Automaton::states> final{};
    constexpr FinalStates() {
        for (int s = 0; s < Automaton::states; ++s) {
            bool all_jam = true;
            for (int b = 1; b < 256 && all_jam; ++b) all_jam = Automaton::next(s, b) == kJamState;
            final[static_cast<std::size_t>(s)] = all_jam;
        }
    }
    constexpr bool operator()(int s) const { return final[static_cast<std::size_t>(s)]; }
};

// Per start condition and line-start flag, the action of every byte.
struct ByteActions {
    // [condition][at line start][byte]
    std::array<std::array<std::array<Action, 256>, 2>, kConditions> action{};

    constexpr ByteActions() {
        const FinalStates is_final;
        for (int condition = 0; condition < kConditions; ++condition) {
            for (int bol = 0; bol < 2; ++bol) {
                int start = Automaton::start(condition, bol);
                for (int b = 1; b < 256; ++b) {
                    int s = Automaton::next(start, b);
                    Action a = kComplex;
                    if (s != kJamState && Automaton::accept(s) != 0 && is_final(s))
                        a = action_of_rule(Automaton::accept(s));
                    action[static_cast<std::size_t>(condition)][static_cast<std::size_t>(bol)]
                          [static_cast<std::size_t>(b)] = a;
                }
            }
        }
    }
};

constexpr ByteActions kByteActions;

// --- Bulk stretches -------------------------------------------------------
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
};

// The length of the escape that `b1` and `b2` begin in `condition`, at a
// line start or not, or 0 when they begin anything else or a token that
// more bytes decide.
constexpr int escape_pair_length(const FinalStates& is_final, int condition, int bol, int b1,
                                 int b2) {
    int s1 = Automaton::next(Automaton::start(condition, bol), b1);
    if (s1 == kJamState || is_final(s1)) return 0;
    int s2 = Automaton::next(s1, b2);
    if (s2 == kJamState) return caret_escape_rule(Automaton::accept(s1)) ? 1 : 0;
    return is_final(s2) && caret_escape_rule(Automaton::accept(s2)) ? 2 : 0;
}

constexpr int kBulkModes = 2;  // text runs, blank runs

constexpr BulkClass make_bulk_class(const ByteActions& actions, const FinalStates& is_final,
                                    int condition, bool blanks_only, int let_through) {
    BulkClass c;
    const auto& at = actions.action[static_cast<std::size_t>(condition)];
    int plain_count = 0;
    for (int b = 0; b < 256; ++b) {
        const auto i = static_cast<std::size_t>(b);
        Action a = b == 0 || at[0][i] != at[1][i] ? kComplex : at[0][i];
        Weight w = a == kCopy                        ? kPlain
                   : a == kNewLine                   ? kPlainLineFeed
                   : a == kCaret || a == kSemiEscape ? kEscape
                                                     : kEnd;
        if (blanks_only && b != ' ' && b != '\t' && b != '\n') w = kEnd;
        if (b == let_through) w = kPlain;
        c.weight[i] = w;
        plain_count += w == kPlain || w == kPlainLineFeed;
    }
    std::size_t rows = 1;
    for (int b1 = 1; b1 < 256 && !blanks_only; ++b1) {
        if (c.weight[static_cast<std::size_t>(b1)] != kEnd || rows == BulkClass::kPairRows)
            continue;
        std::array<std::uint8_t, 256> lengths{};
        bool any = false;
        for (int b2 = 1; b2 < 256; ++b2) {
            int n = escape_pair_length(is_final, condition, 0, b1, b2);
            if (n != escape_pair_length(is_final, condition, 1, b1, b2)) n = 0;
            lengths[static_cast<std::size_t>(b2)] = static_cast<std::uint8_t>(n);
            any = any || n != 0;
        }
        if (!any) continue;
        c.pair_length[rows] = lengths;
        c.pair_row[static_cast<std::size_t>(b1)] = static_cast<std::uint8_t>(rows++);
    }
    c.listed_plain = plain_count < 128;
    std::array<unsigned char, 16> list{};
    int n = 0;
    for (int b = 0; b < 256; ++b) {
        std::uint16_t w = c.weight[static_cast<std::size_t>(b)];
        bool plain = w == kPlain || w == kPlainLineFeed;
        if (plain != c.listed_plain) continue;
        if (n == 16) return c;  // listed stays 0: the portable loop only
        list[static_cast<std::size_t>(n++)] = static_cast<unsigned char>(b);
    }
    c.listed = n;
    for (std::size_t i = 0; i < 16; ++i)
        for (auto& lane : c.rows[i]) lane = list[static_cast<int>(i) < n ? i : 0];
    c.by_nibbles = n > 0;
    for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i) {
        if (list[i] >= 0x80)
            c.by_nibbles = false;
        else
            c.low_nibble[list[i] & 15] |= static_cast<unsigned char>(1u << (list[i] >> 4));
    }
    for (std::size_t h = 0; h < 8; ++h) c.high_nibble[h] = static_cast<unsigned char>(1u << h);
    c.escapes_by_nibbles = true;
    for (int b = 0; b < 256; ++b) {
        if (c.weight[static_cast<std::size_t>(b)] != kEscape) continue;
        if (b >= 0x80)
            c.escapes_by_nibbles = false;
        else
            c.escape_low_nibble[b & 15] |= static_cast<unsigned char>(1u << (b >> 4));
    }
    if (!c.escapes_by_nibbles) c.escape_low_nibble = {};
    return c;
}

struct BulkClasses {
    // [condition][blank runs]
    std::array<std::array<BulkClass, kBulkModes>, kConditions> of{};
    constexpr explicit BulkClasses(int let_through) {
        const FinalStates is_final;
        for (int c = 0; c < kConditions; ++c)
            for (int m = 0; m < kBulkModes; ++m)
                of[static_cast<std::size_t>(c)][static_cast<std::size_t>(m)] =
                    make_bulk_class(kByteActions, is_final, c, m != 0, let_through);
    }
};

constexpr BulkClasses kBulkClasses(-1);

std::atomic<BulkLoop> selected_loop{BulkLoop::ssse3};
std::atomic<int> let_through_byte{-1};

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

// Takes the escape at `p`, where a loop stopped, writing it as a caret and
// its last byte. False when there is none: the loop ends at `p`.
inline bool take_escape(const BulkClass& c, char*& p, char*& out, const char* limit,
                        const char*& pair_end) {
    const int n = escape_at(c, p, limit);
    if (n == 0) return false;
    out[0] = '^';
    out[1] = p[n - 1];
    out += 2;
    p += n;
    if (n == 2) pair_end = p;
    return true;
}

// Copies from `p` on the plain bytes and escapes to the output and counts
// the line feeds among them, until the first byte that is neither, or until
// `end` (a stretch's end: an escape may reach one byte past it). Returns
// where it stopped. The portable loop adds eight weights at a time: anything
// but plain bytes shows in the sum, and those eight are then taken one by
// one.
char* bulk_portable(const BulkClass& c, char* p, const char* end, const char* limit,
                    BulkState& st) {
    const std::uint16_t* w = c.weight.data();
    auto at = [&](int i) { return w[static_cast<unsigned char>(p[i])]; };
    char* out = st.out;
    int lines = st.lines;
    for (;;) {
        while (end - p >= 8) {
            unsigned sum = at(0) + at(1) + at(2) + at(3) + at(4) + at(5) + at(6) + at(7);
            if (sum >= kEscape) break;
            std::memcpy(out, p, 8);
            lines += static_cast<int>(sum);
            p += 8;
            out += 8;
        }
        for (int i = 0; i < 8; ++i) {
            if (p >= end) goto done;
            const std::uint16_t weight = at(0);
            if (weight == kPlain || weight == kPlainLineFeed) {
                lines += weight;
                *out++ = *p++;
                continue;
            }
            if (!take_escape(c, p, out, limit, st.pair_end)) goto done;
        }
    }
done:
    st.out = out;
    st.lines = lines;
    return p;
}

#if defined(__SSE2__)
// Where the vector loops, starting at `p`, stop taking blocks: a block
// starts before `end` and lies before `limit`.
inline const char* last_block_start(const char* p, const char* end, const char* limit) {
    if (limit - p < 16) return p;
    return limit - end >= 15 ? end : limit - 15;
}

// The set bits of each byte value, for the line feeds before a stop.
constexpr std::array<std::uint8_t, 256> kBitCount = [] {
    std::array<std::uint8_t, 256> n{};
    for (std::size_t i = 1; i < 256; ++i) n[i] = static_cast<std::uint8_t>(n[i / 2] + (i & 1));
    return n;
}();

// The SSE2 loop, for processors without SSSE3: each block compared with the
// first N listed bytes (the list is padded with its first byte). Escapes stop
// it like any other listed byte; it takes them and goes on. Line feeds are
// counted in the blocks that have them.
template <int N>
char* bulk_sse2(const BulkClass& c, char* p, const char* end, const char* limit, BulkState& st) {
    __m128i want[N];
    for (int i = 0; i < N; ++i)
        want[i] = _mm_load_si128(
            reinterpret_cast<const __m128i*>(c.rows[static_cast<std::size_t>(i)].data()));
    const unsigned flip = c.listed_plain ? 0xffffu : 0u;
    const __m128i line_feed = _mm_set1_epi8('\n');
    char* o = st.out;
    for (const char* const last_block = last_block_start(p, end, limit); p < last_block;) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        __m128i hit = _mm_cmpeq_epi8(v, want[0]);
        for (int i = 1; i < N; ++i) hit = _mm_or_si128(hit, _mm_cmpeq_epi8(v, want[i]));
        unsigned stop = static_cast<unsigned>(_mm_movemask_epi8(hit)) ^ flip;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o), v);
        unsigned feeds = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, line_feed)));
        unsigned n = stop ? static_cast<unsigned>(__builtin_ctz(stop)) : 16;
        feeds &= (1u << n) - 1;
        if (feeds) st.lines += kBitCount[feeds & 0xff] + kBitCount[feeds >> 8];
        p += n;
        o += n;
        if (n == 16) continue;
        if (!take_escape(c, p, o, limit, st.pair_end)) {
            st.out = o;
            return p;
        }
    }
    st.out = o;
    return p < end ? bulk_portable(c, p, end, limit, st) : p;
}

// A block from its lane `i` on, in its first lanes.
alignas(16) constexpr std::array<std::array<unsigned char, 16>, 16> kShiftDown = [] {
    std::array<std::array<unsigned char, 16>, 16> t{};
    for (std::size_t i = 0; i < 16; ++i)
        for (std::size_t j = 0; j < 16; ++j)
            t[i][j] = static_cast<unsigned char>(i + j < 16 ? i + j : 0x80);
    return t;
}();

// The table loop: each block classified with two look-ups by nibble, and
// the escapes of one byte written inside the block, each a caret and then
// the rest of the block moved up by one. Line feeds are counted in the
// blocks that have them. Written out apart from the SSE2 loop: the SSSE3
// look-ups inline only into a function compiled for SSSE3, and the SSE2 loop
// must not be.
__attribute__((target("ssse3"))) char* bulk_ssse3(const BulkClass& c, char* p, const char* end,
                                                  const char* limit, BulkState& st) {
    const __m128i low = _mm_load_si128(reinterpret_cast<const __m128i*>(c.low_nibble.data()));
    const __m128i high = _mm_load_si128(reinterpret_cast<const __m128i*>(c.high_nibble.data()));
    const __m128i escape_low =
        _mm_load_si128(reinterpret_cast<const __m128i*>(c.escape_low_nibble.data()));
    const __m128i nibble = _mm_set1_epi8(0x0f);
    // A lane is listed when its two look-ups share a bit; the mask has the
    // lanes that are not, flipped into the lanes that end a stretch.
    const unsigned flip = c.listed_plain ? 0u : 0xffffu;
    const __m128i line_feed = _mm_set1_epi8('\n');
    const __m128i zero = _mm_setzero_si128();
    char* o = st.out;
    int lines = st.lines;
    auto count = [&](unsigned feeds) {
        if (feeds) lines += kBitCount[feeds & 0xff] + kBitCount[feeds >> 8];
    };
    // The line feeds of whole blocks, per lane (see kLongestStretch).
    __m128i lane_feeds = zero;
    bool stopped = false;
    for (const char* const last_block = last_block_start(p, end, limit); p < last_block;) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        __m128i low_bits = _mm_and_si128(v, nibble);
        __m128i high_bit = _mm_shuffle_epi8(high, _mm_and_si128(_mm_srli_epi16(v, 4), nibble));
        __m128i bits = _mm_and_si128(_mm_shuffle_epi8(low, low_bits), high_bit);
        unsigned stop = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bits, zero))) ^ flip;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o), v);
        const __m128i is_feed = _mm_cmpeq_epi8(v, line_feed);
        if (stop != 0) {
            const unsigned feeds = static_cast<unsigned>(_mm_movemask_epi8(is_feed));
            __m128i escape_bits = _mm_and_si128(_mm_shuffle_epi8(escape_low, low_bits), high_bit);
            unsigned escapes =
                static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(escape_bits, zero))) ^
                0xffffu;
            unsigned ends = stop & ~escapes;
            // The escapes before the first lane that ends the stretch (all
            // when none does: `ends` has no escape lane above its lowest).
            for (unsigned e = escapes & (ends - 1); e != 0; e &= e - 1) {
                unsigned i = static_cast<unsigned>(__builtin_ctz(e));
                o[i] = '^';
                ++o;
                _mm_storeu_si128(
                    reinterpret_cast<__m128i*>(o + i),
                    _mm_shuffle_epi8(
                        v, _mm_load_si128(reinterpret_cast<const __m128i*>(kShiftDown[i].data()))));
            }
            if (ends != 0) {
                unsigned n = static_cast<unsigned>(__builtin_ctz(ends));
                count(feeds & ((1u << n) - 1));
                p += n;
                o += n;
                if (!take_escape(c, p, o, limit, st.pair_end)) {
                    stopped = true;
                    break;
                }
                continue;
            }
        }
        lane_feeds = _mm_sub_epi8(lane_feeds, is_feed);
        p += 16;
        o += 16;
    }
    const __m128i sums = _mm_sad_epu8(lane_feeds, zero);
    st.out = o;
    st.lines = lines + _mm_cvtsi128_si32(sums) + _mm_cvtsi128_si32(_mm_unpackhi_epi64(sums, sums));
    return p < end && !stopped ? bulk_portable(c, p, end, limit, st) : p;
}

bool has_ssse3() {
    static const bool has = __builtin_cpu_supports("ssse3");
    return has;
}
#endif

using BulkLoopFn = char* (*)(const BulkClass&, char*, const char*, const char*, BulkState&);

BulkLoopFn bulk_loop_for(const BulkClass& c, BulkLoop loop) {
#if defined(__SSE2__)
    if (loop == BulkLoop::ssse3 && c.by_nibbles && has_ssse3()) return bulk_ssse3;
    if (loop != BulkLoop::portable) {
        if (c.listed > 0 && c.listed <= 4) return bulk_sse2<4>;
        if (c.listed > 4 && c.listed <= 8) return bulk_sse2<8>;
        if (c.listed > 8 && c.listed <= 12) return bulk_sse2<12>;
        if (c.listed > 12) return bulk_sse2<16>;
    }
#else
    (void)c;
    (void)loop;
#endif
    return bulk_portable;
}

}  // namespace

// The class and the loop of each start condition and mode, chosen once for a
// parse rather than at every run.
struct BulkSetup {
    struct Choice {
        const BulkClass* bulk = nullptr;
        BulkLoopFn loop = nullptr;
    };
    std::array<std::array<Choice, kBulkModes>, kConditions> of{};

    BulkSetup() = default;
    BulkSetup(const BulkClasses& classes, BulkLoop loop) {
        for (std::size_t c = 0; c < of.size(); ++c) {
            for (std::size_t m = 0; m < kBulkModes; ++m) {
                const BulkClass& bulk = classes.of[c][m];
                of[c][m] = {&bulk, bulk_loop_for(bulk, loop)};
            }
        }
    }
};

namespace {

const BulkSetup& bulk_setup() {
    const BulkLoop loop = selected_loop.load(std::memory_order_relaxed);
    const int extra = let_through_byte.load(std::memory_order_relaxed);
    if (extra < 0) {
        static const BulkSetup setups[] = {{kBulkClasses, BulkLoop::ssse3},
                                           {kBulkClasses, BulkLoop::sse2},
                                           {kBulkClasses, BulkLoop::portable}};
        static_assert(static_cast<int>(BulkLoop::ssse3) == 0 &&
                      static_cast<int>(BulkLoop::sse2) == 1 &&
                      static_cast<int>(BulkLoop::portable) == 2);
        return setups[static_cast<int>(loop)];
    }
    // The tests' widened classes, built anew on each change.
    static int built_for = -1;
    static BulkLoop built_loop;
    static BulkClasses widened(-1);
    static BulkSetup setup;
    if (built_for != extra || built_loop != loop) {
        widened = BulkClasses(extra);
        setup = BulkSetup(widened, loop);
        built_for = extra;
        built_loop = loop;
    }
    return setup;
}

// Matches one token at `p` with the scanner's automaton. Returns its rule
// and sets `end`, or returns 0 when the match is not decided by the bytes
// before `limit` or would take in a NUL byte.
int match_token(const ScannerTables& t, int start, const char* p, const char* limit,
                const char*& end) {
    const std::int16_t* const accept = t.accept;
    int state = start;
    int accepted_rule = 0;
    const char* accepted_end = nullptr;
    for (const char* q = p;;) {
        if (q >= limit || *q == '\0') return 0;
        state = next_state(t, state, static_cast<unsigned char>(*q));
        if (state == kJamState) break;
        ++q;
        if (accept[state]) {
            accepted_rule = accept[state];
            accepted_end = q;
        }
    }
    end = accepted_end;
    return accepted_rule;
}

// Tokens decided by their first byte or their first two, precomputed per
// start condition and line-start flag from the automaton: nearly every token
// is one of them. Anything else goes to the automaton.
// The rows of pair tables: one for each first byte, per start condition and
// line-start flag, after which the automaton may go on (row 0 is none).
// Rows are numbered in a byte; beyond that the automaton decides.
constexpr int pair_rows() {
    const FinalStates is_final;
    int rows = 1;
    for (int condition = 0; condition < kConditions; ++condition)
        for (int bol = 0; bol < 2; ++bol)
            for (int b1 = 1; b1 < 256; ++b1) {
                int s1 = Automaton::next(Automaton::start(condition, bol), b1);
                if (s1 != kJamState && !is_final(s1) && rows < 256) ++rows;
            }
    return rows;
}

class ShortTokens {
  public:
    constexpr ShortTokens() {
        const FinalStates is_final;
        std::size_t rows = 1;
        for (int condition = 0; condition < kConditions; ++condition) {
            for (int bol = 0; bol < 2; ++bol) {
                int start = Automaton::start(condition, bol);
                for (int b1 = 1; b1 < 256; ++b1) {
                    int s1 = Automaton::next(start, b1);
                    if (s1 == kJamState) continue;
                    if (is_final(s1)) {
                        one_[condition][bol][b1] = encode(Automaton::accept(s1), 1);
                        continue;
                    }
                    if (rows == pairs_.size()) continue;
                    auto& row = pairs_[rows];
                    for (int b2 = 1; b2 < 256; ++b2) {
                        int s2 = Automaton::next(s1, b2);
                        if (s2 == kJamState)
                            row[b2] = encode(Automaton::accept(s1), 1);
                        else if (is_final(s2))
                            row[b2] = encode(Automaton::accept(s2), 2);
                    }
                    pair_row_[condition][bol][b1] = static_cast<std::uint8_t>(rows++);
                }
            }
        }
    }

    // As match_token from the start state of `condition` and `bol`.
    int match(int condition, int bol, const char* p, const char* limit, const char*& end) const {
        if (p >= limit) return 0;
        const unsigned char b1 = static_cast<unsigned char>(*p);
        std::uint8_t code = one_[condition][bol][b1];
        if (code == 0) {
            std::uint8_t row = pair_row_[condition][bol][b1];
            if (row != 0 && p + 1 < limit) code = pairs_[row][static_cast<unsigned char>(p[1])];
            if (code == 0) {
                const ScannerTables& t = scanner_tables();
                return match_token(t, t.start_state[condition][bol], p, limit, end);
            }
        }
        end = p + 1 + (code & 1);
        return code >> 1;
    }

  private:
    // rule * 2 + length - 1; 0 (undecided) for no rule or a rule that does
    // not fit, which then takes the automaton's path.
    static constexpr std::uint8_t encode(int r, int length) {
        return r > 0 && r < 128 ? static_cast<std::uint8_t>(r * 2 + length - 1) : 0;
    }

    // [condition][at line start][first byte]
    std::array<std::array<std::array<std::uint8_t, 256>, 2>, kConditions> one_{};
    std::array<std::array<std::array<std::uint8_t, 256>, 2>, kConditions> pair_row_{};
    std::array<std::array<std::uint8_t, 256>, pair_rows()> pairs_{};  // [row][second byte]
};

constexpr ShortTokens kShortTokens;

// The token of a rule whose whole action is MARK_TOKEN (the keywords), or 0.
constexpr int keyword_token(int r) {
    switch (r) {
#include "lexer/rule_tokens.inc"
        default:
            return 0;
    }
}

// Operator names looked up whole instead of walked byte by byte. The names
// are the strings the automaton accepts right after a caret with a keyword
// rule, found once by walking it. A name is read up to the first byte that
// no accepted string after a caret (of any rule) has past its first
// position: no match can be longer, so when those bytes are a keyword the
// automaton's longest match is that keyword. Anything else is left to the
// automaton.
class OperatorNames {
  public:
    constexpr OperatorNames() {
        char path[kMaxName]{};
        walk(Automaton::start(kOpname, 0), path, 0);
        if (!usable_) slots_ = {};
    }

    // The rule of the operator name at `p`, or 0 when the automaton must
    // decide.
    int lookup(const char* p, const char* limit, const char*& end) const {
        std::size_t n = 0;
        while (n < kMaxName && p + n < limit && name_byte_[static_cast<unsigned char>(p[n])]) ++n;
        if (n == 0 || n == kMaxName || p + n >= limit) return 0;
        for (std::size_t i = slot_of(p, n);; i = (i + 1) % kSlots) {
            const Entry& e = slots_[i];
            if (e.length == 0) return 0;
            if (e.length == n && same_name(e.text, p, n)) {
                end = p + n;
                return e.rule;
            }
        }
    }

  private:
    static constexpr std::size_t kMaxName = 15;

    // memcmp for names of up to 14 bytes, with fixed-size loads that stay
    // inside both.
    static bool same_name(const char* a, const char* b, std::size_t n) {
        auto load8 = [](const char* p) {
            std::uint64_t w;
            std::memcpy(&w, p, 8);
            return w;
        };
        auto load4 = [](const char* p) {
            std::uint32_t w;
            std::memcpy(&w, p, 4);
            return w;
        };
        if (n >= 8) return load8(a) == load8(b) && load8(a + n - 8) == load8(b + n - 8);
        if (n >= 4) return load4(a) == load4(b) && load4(a + n - 4) == load4(b + n - 4);
        for (std::size_t i = 0; i < n; ++i)
            if (a[i] != b[i]) return false;
        return true;
    }
    static constexpr std::size_t kSlots = 256;
    struct Entry {
        std::size_t length = 0;
        char text[kMaxName]{};
        int rule = 0;
    };

    static constexpr std::size_t slot_of(const char* s, std::size_t n) {
        return (static_cast<unsigned char>(s[0]) * 7u + static_cast<unsigned char>(s[n - 1]) * 31u +
                n) %
               kSlots;
    }

    // The first `length` bytes of `path` lead to `state`.
    constexpr void walk(int state, char* path, std::size_t length) {
        for (int b = 1; b < 256 && usable_; ++b) {
            int next = Automaton::next(state, b);
            if (next == kJamState) continue;
            path[length] = static_cast<char>(b);
            if (length + 1 >= kMaxName) {
                usable_ = false;  // not a keyword table: leave it all to the automaton
            } else {
                if (Automaton::accept(next)) accept(path, length + 1, Automaton::accept(next));
                walk(next, path, length + 1);
            }
        }
    }

    constexpr void accept(const char* s, std::size_t n, int r) {
        for (std::size_t i = 1; i < n; ++i) name_byte_[static_cast<unsigned char>(s[i])] = true;
        if (keyword_token(r) == 0) return;
        name_byte_[static_cast<unsigned char>(s[0])] = true;
        std::size_t i = slot_of(s, n);
        for (std::size_t probes = 0; slots_[i].length != 0; i = (i + 1) % kSlots) {
            if (++probes == kSlots) {
                usable_ = false;
                return;
            }
        }
        Entry& e = slots_[i];
        e.length = n;
        for (std::size_t k = 0; k < n; ++k) e.text[k] = s[k];
        e.rule = r;
    }

    std::array<bool, 256> name_byte_{};
    std::array<Entry, kSlots> slots_{};
    bool usable_ = true;
};

constexpr OperatorNames kOperatorNames;

// Queues the structure tokens from `p` on (see PendingTokens) and returns
// where they end. Does what each token's rule does to the start condition
// and the counters, and stops before anything else: text, a "]" or ";" that
// bracket_nesting makes text, a caret not followed by a keyword (the
// catch-all rule after a caret then pushes the byte back), a header, or a
// token not decided by the bytes read so far. When it takes any, `last` is
// the last one and `condition` the start condition after it. A caller that
// has matched the token at `p` already gives its rule and end (`first_rule`
// 0: none).
char* take_structure(Conversion& cv, char* p, const char* limit, int bol, int& condition,
                     const char*& last, PendingTokens& q, int first_rule, const char* first_end) {
    const ShortTokens& shorts = kShortTokens;
    const OperatorNames& names = kOperatorNames;
    int c = condition;
    while (q.count < PendingTokens::kCapacity && (c == kInitial || c == kParams || c == kOpname)) {
        const char* end = first_end;
        int r = first_rule;
        first_rule = 0;
        if (r == 0 && c == kOpname) r = names.lookup(p, limit, end);
        if (r == 0) r = shorts.match(c, bol, p, limit, end);
        int code;
        switch (r) {
            case rule::params_caret:
            case rule::caret:
                code = TOK_BIRD;
                c = kOpname;
                break;
            case rule::opname_open:
                ++cv.scan.param_depth;
                c = kParams;
                code = TOK_SQBRO;
                break;
            case rule::params_close:
                if (cv.scan.bracket_nesting > 0) goto stop;
                if (--cv.scan.param_depth == 0) c = kInitial;
                code = TOK_SQBRC;
                break;
            case rule::params_semi:
                if (cv.scan.bracket_nesting > 0) goto stop;
                code = TOK_SEMI;
                break;
            default:
                code = c == kOpname ? keyword_token(r) : 0;
                if (code == 0) goto stop;
                break;
        }
        q.code[q.count] = code;
        q.text[q.count] = p;
        q.length[q.count] = static_cast<std::uint8_t>(end - p);
        ++q.count;
        last = p;
        p = const_cast<char*>(end);
        bol = 0;
    }
stop:
    if (last) condition = c;
    return p;
}

}  // namespace

void select_bulk_loop(BulkLoop loop) {
    selected_loop.store(loop, std::memory_order_relaxed);
}

BulkLoop selected_bulk_loop() {
    return selected_loop.load(std::memory_order_relaxed);
}

void let_through_bulk_loops(int byte) {
    let_through_byte.store(byte, std::memory_order_relaxed);
}

namespace {

// Takes a run of plain bytes and escapes from `q` on. The first few bytes are
// taken here: most arguments of constructions are that short, and not worth
// a call of the bulk loop.
char* take_run(const BulkSetup::Choice& choice, char* q, const char* stretch_end, const char* limit,
               BulkState& st) {
    constexpr std::ptrdiff_t kShortRun = 6;
    const BulkClass& bulk = *choice.bulk;
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

}  // namespace

TextRuns::TextRuns(Conversion& cv) : cv_(cv), bulk_(bulk_setup()) {}

std::size_t TextRuns::scan(Text& into, bool blanks_only, PendingTokens* pending) {
    if (!buffer_.attached() && !buffer_.attach(cv_.scan.flex)) return 0;
    const ScannerPosition at = buffer_.position();
    const int condition = at.condition;
    char* const begin = at.next;
    const char* const limit = at.limit;
    // Unsigned, as it indexes a table at every byte.
    std::size_t bol = at.at_line_start ? 1 : 0;
    if (condition < 0 || condition == kOpname) return 0;
    // Between tokens the byte at the scan position is held aside.
    *begin = at.held;

    const auto& table = kByteActions.action[static_cast<std::size_t>(condition)];
    const ShortTokens& shorts = kShortTokens;
    const BulkSetup::Choice& choice =
        bulk_.of[static_cast<std::size_t>(condition)][blanks_only ? 1 : 0];
    const BulkClass& bulk = *choice.bulk;

    char* p = begin;
    const char* last = nullptr;  // the last token taken
    // The rule of the last token taken, or kBulkRule when the bulk loop took
    // it (decided at the end: only the last one's text is kept).
    constexpr int kBulkRule = -1;
    int last_rule = 0;
    int lines = 0;
    // Output is written in stretches of input, with room reserved ahead: no
    // token converts to more than twice its length, none is longer than the
    // slack, and a bulk loop goes at most 17 bytes past a stretch's end and
    // stores 16 bytes at a time. Stretches start at 256 bytes, which most text
    // between two constructions fits in, and grow fourfold: each end of a
    // stretch costs a new start of the run, and a short argument still
    // reserves no more than half a kilobyte.
    constexpr std::size_t kSlack = 64;
    std::size_t stretch = 256;
    char* out = into.tail(2 * stretch + kSlack);
    const char* stretch_end = p + stretch < limit ? p + stretch : limit;
    bool may_run = true;
    // The token matched at `p` where the loop stopped, for take_structure.
    int stop_rule = 0;
    const char* stop_end = nullptr;
    while (p < limit) {
        if (p >= stretch_end) {
            into.commit(out);
            stretch = stretch * 4 < kLongestStretch ? stretch * 4 : kLongestStretch;
            out = into.tail(2 * stretch + kSlack);
            stretch_end = static_cast<std::size_t>(limit - p) > stretch ? p + stretch : limit;
        }
        if (may_run && (bulk.weight[static_cast<unsigned char>(*p)] != kEnd ||
                        bulk.pair_row[static_cast<unsigned char>(*p)])) {
            // The bulk of any template: plain bytes and escapes.
            BulkState st{out};
            char* q = take_run(choice, p, stretch_end, limit, st);
            if (q != p) {
                out = st.out;
                lines += st.lines;
                last = q == st.pair_end ? q - 2 : q - 1;
                last_rule = kBulkRule;
                bol = q[-1] == '\n' ? 1 : 0;
                p = q;
                // A run stops before a stretch's end only at a byte that no
                // run takes.
                may_run = q >= stretch_end;
                continue;
            }
        }
        may_run = true;
        const unsigned char byte = static_cast<unsigned char>(*p);
        if (blanks_only && byte != ' ' && byte != '\t' && byte != '\n') break;
        Action a = table[bol][byte];
        const char* end = p + 1;
        int r = 0;
        if (a == kComplex) {
            r = shorts.match(condition, static_cast<int>(bol), p, limit, end);
            if (r == 0) break;
            switch (r) {
                case rule::e_dollar:
                case rule::dollar:
                    *out++ = '^';
                    *out++ = '$';
                    break;
                case rule::e_bird:
                    *out++ = '^';
                    *out++ = '^';
                    break;
                case rule::e_semi:
                    *out++ = '^';
                    *out++ = ';';
                    break;
                default:
                    // A longer token made of text bytes would be one of
                    // the rules above; anything else (a keyword, a header
                    // word, a caret) ends the run.
                    a = action_of_rule(r);
                    if (end != p + 1 || a == kStop || a == kComplex) {
                        stop_rule = r;
                        stop_end = end;
                        goto done;
                    }
                    break;
            }
        }
        switch (a) {
            case kComplex:
                break;  // handled above
            case kStop:
                goto done;
            case kCopy:
                *out++ = static_cast<char>(byte);
                break;
            case kCaret:
                *out++ = '^';
                *out++ = static_cast<char>(byte);
                break;
            case kNewLine:
                *out++ = '\n';
                ++lines;
                break;
            case kSemiEscape:
                *out++ = '^';
                *out++ = ';';
                break;
            case kBracketOpen:
                ++cv_.scan.bracket_nesting;
                *out++ = '[';
                break;
            case kBracketClose:
                if (cv_.scan.bracket_nesting <= 0) goto done;
                --cv_.scan.bracket_nesting;
                *out++ = ']';
                break;
            case kSeparator:
                if (cv_.scan.bracket_nesting <= 0) goto done;
                *out++ = ';';
                break;
        }
        last = p;
        last_rule = r ? r : (a == kSemiEscape ? rule::text_semi : 0);
        bol = end[-1] == '\n' ? 1 : 0;
        p = const_cast<char*>(end);
    }
done:
    into.commit(out);
    // Leave the scanner as its own matching would have: the held byte, the
    // line-start flag, the start condition and the last token's text.
    ScannerAdvance to;
    to.condition = condition;
    if (last) {
        if (last_rule == kBulkRule)
            last_rule =
                table[0][static_cast<unsigned char>(*last)] == kSemiEscape ? rule::text_semi : 0;
        if (last_rule == rule::text_semi)
            cv_.scan.set_last_token("^;", 2);
        else
            cv_.scan.set_last_token(last, static_cast<std::size_t>(p - last));
        to.last = last;
        to.last_length = static_cast<int>(p - last);
        to.at_line_start = bol != 0;
        cv_.line_number += lines;
    }
    if (pending) {
        const char* structure_last = nullptr;
        char* structure_end = take_structure(cv_, p, limit, static_cast<int>(bol), to.condition,
                                             structure_last, *pending, stop_rule, stop_end);
        if (structure_last) {
            to.last = structure_last;
            to.last_length = static_cast<int>(structure_end - structure_last);
            to.at_line_start = false;
        }
        p = structure_end;
    }
    to.next = p;
    buffer_.advance(to);
    return static_cast<std::size_t>(p - begin);
}

}  // namespace tvconv
