// The scanner's automaton as the fast path reads it: the rules and start
// conditions by the numbers flex gave them (scanner_numbers.h, generated),
// a constexpr copy of flex's tables for the tables computed at compile time,
// and what each byte does as a token of its own. Shared by the bulk loops,
// the token tables and the scan; not part of the scanner's interface.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "lexer/scanner_automaton.h"
#include "lexer/scanner_numbers.h"
#include "lexer/scanner_tables.h"

namespace tvconv::fast_path {

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

// Computed once per program, in constant evaluation.
inline constexpr ByteActions kByteActions;

}  // namespace tvconv::fast_path
