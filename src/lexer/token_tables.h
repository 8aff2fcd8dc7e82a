// Tokens matched with tables made from the scanner's automaton at compile
// time, for the text fast path and the structure tokens after a run: tokens
// of one or two bytes, and operator names.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "grammar/parser.h"
#include "lexer/automaton.h"

namespace tvconv::fast_path {

// Matches one token at `p` with the scanner's automaton. Returns its rule
// and sets `end`, or returns 0 when the match is not decided by the bytes
// before `limit` or would take in a NUL byte.
int match_token(const ScannerTables& t, int start, const char* p, const char* limit,
                const char*& end);

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
            for (int b1 = 1; b1 < 256; ++b1) {
                for (int bol = 0; bol < 2; ++bol) {
                    int s1 = Automaton::next(Automaton::start(condition, bol), b1);
                    if (s1 != kJamState && structure_rule(Automaton::accept(s1)))
                        structure_[condition][b1] = true;
                }
            }
        }
    }

    // Whether the byte may begin a structure token of one byte (a caret, or
    // a bracket or separator of a parameter list) in `condition`: the queue
    // of structure tokens stops at any other without matching it.
    bool may_begin_structure(int condition, unsigned char b) const {
        return structure_[condition][b];
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
    static constexpr bool structure_rule(int r) {
        return r == rule::caret || r == rule::params_caret || r == rule::opname_open ||
               r == rule::params_close || r == rule::params_semi;
    }

    // rule * 2 + length - 1; 0 (undecided) for no rule or a rule that does
    // not fit, which then takes the automaton's path.
    static constexpr std::uint8_t encode(int r, int length) {
        return r > 0 && r < 128 ? static_cast<std::uint8_t>(r * 2 + length - 1) : 0;
    }

    // [condition][at line start][first byte]
    std::array<std::array<std::array<std::uint8_t, 256>, 2>, kConditions> one_{};
    std::array<std::array<std::array<std::uint8_t, 256>, 2>, kConditions> pair_row_{};
    std::array<std::array<std::uint8_t, 256>, pair_rows()> pairs_{};  // [row][second byte]
    std::array<std::array<bool, 256>, kConditions> structure_{};
};

extern const ShortTokens kShortTokens;

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

    // Calls f(name, rule) for every name held.
    template <class F>
    void each(F&& f) const {
        for (const Entry& e : slots_)
            if (e.length != 0) f(std::string_view(e.text, e.length), e.rule);
    }

    static constexpr std::size_t kMaxName = 15;

  private:
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

extern const OperatorNames kOperatorNames;

}  // namespace tvconv::fast_path
