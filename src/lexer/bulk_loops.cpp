// The bulk loops (see bulk_loops.h): the classes of bytes per start
// condition, computed at compile time from the automaton, and the portable,
// SSE2 and SSSE3 loops over them.
#include "lexer/bulk_loops.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>

#include "lexer/token_tables.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#include <tmmintrin.h>
#endif

namespace tvconv {
namespace fast_path {

namespace {

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
    c.start = Automaton::start(condition, 0);
    c.long_runs = condition != scanner_condition::params && !blanks_only;
    for (int b = 1; b < 256 && !blanks_only; ++b) {
        const auto i = static_cast<std::size_t>(b);
        if (c.weight[i] != kEnd || c.pair_row[i] != 0) continue;
        // The same state whatever the line-start flag, so the walk may start
        // from either.
        const int s = Automaton::next(Automaton::start(condition, 0), b);
        if (s == kJamState || is_final(s) ||
            s != Automaton::next(Automaton::start(condition, 1), b))
            continue;
        c.walked[i] = Automaton::accept(s) != 0 && action_of_rule(Automaton::accept(s)) == kCopy;
    }
    // The bytes after which no walked byte's match can grow (NUL aside,
    // which the walk must see).
    for (int b2 = 1; b2 < 256; ++b2) {
        bool alone = true;
        for (int b1 = 1; b1 < 256 && alone; ++b1) {
            if (!c.walked[static_cast<std::size_t>(b1)]) continue;
            const int s = Automaton::next(Automaton::start(condition, 0), b1);
            alone = Automaton::next(s, b2) == kJamState;
        }
        c.alone_before[static_cast<std::size_t>(b2)] = alone;
    }
    for (std::size_t i = 0; i < 256; ++i)
        c.runs[i] = c.weight[i] != kEnd || c.pair_row[i] != 0 || c.walked[i];
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

}  // namespace

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

namespace {

constexpr BulkClasses kBulkClasses(-1);

std::atomic<BulkLoop> selected_loop{BulkLoop::ssse3};
std::atomic<int> let_through_byte{-1};

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

bool walk_matches_one(const BulkClass& c, const char* p, const char* limit) {
    const char* end = nullptr;
    const int r = match_token(scanner_tables(), c.start, p, limit, end);
    return r != 0 && end == p + 1 && action_of_rule(r) == kCopy;
}

BulkSetup::BulkSetup(const BulkClasses& classes, BulkLoop loop) {
    for (std::size_t c = 0; c < of.size(); ++c) {
        for (std::size_t m = 0; m < kBulkModes; ++m) {
            const BulkClass& bulk = classes.of[c][m];
            of[c][m] = {&bulk, bulk_loop_for(bulk, loop)};
        }
    }
}

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

}  // namespace fast_path

using fast_path::let_through_byte;
using fast_path::selected_loop;

void select_bulk_loop(BulkLoop loop) {
    selected_loop.store(loop, std::memory_order_relaxed);
}

BulkLoop selected_bulk_loop() {
    return selected_loop.load(std::memory_order_relaxed);
}

void let_through_bulk_loops(int byte) {
    let_through_byte.store(byte, std::memory_order_relaxed);
}

}  // namespace tvconv
