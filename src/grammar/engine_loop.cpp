// The LALR(1) engine loop over bison's tables. It behaves step for step like
// bison's own yacc.c loop (kept as parse_document_reference, the reference
// for the differential tests): 16-bit states, 200 entries in the call,
// doubling up to the 10000-entry limit, consistent states reducing without a
// look-ahead, default reductions, and the syntax-error report built from the
// shiftable terminals of the state where the error is found.
#include "grammar/engine_loop.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <type_traits>

#include "context/conversion.h"
#include "grammar/grammar_symbols.h"
#include "grammar/parser_automaton.h"
#include "grammar/parser_tables.h"
#include "grammar/run_constructions.h"
#include "grammar/syntax_error.h"
#include "lexer/scanner.h"
#include "lexer/text_run.h"
#include "translate/translate.h"

namespace tvconv {

namespace {

namespace tr = tvconv::tr;

// Runs the action of bison rule `yyn`. The names are the skeleton's: the
// copied actions refer to yyvsp (top of the value stack), yyval (the left
// side's value) and cv.
void run_action(int yyn, Text** yyvsp, Text*& yyval, Conversion& cv) {
    switch (yyn) {
#include "grammar/actions.inc"
        default:
            break;
    }
}

constexpr int kNoToken = -2;

// bison's tables as the compiler sees them, for the tables below, which are
// computed at compile time: a copy made by the build (parser_automaton.h),
// checked against the parser's own by a unit test.
namespace pa = parser_automaton;

constexpr bool shifts(int state, int symbol) {
    int n = pa::yypact[state];
    if (n == pa::YYPACT_NINF) return false;
    n += symbol;
    return n >= 0 && n <= pa::YYLAST && pa::yycheck[n] == symbol && pa::yytable[n] > 0;
}

constexpr int goto_state(int state, int nonterminal) {
    int lhs = nonterminal - pa::YYNTOKENS;
    int i = pa::yypgoto[lhs] + state;
    return (0 <= i && i <= pa::YYLAST && pa::yycheck[i] == state) ? pa::yytable[i]
                                                                  : pa::yydefgoto[lhs];
}

// What a run of text tokens does in each state.
enum RunKind : std::uint8_t {
    kNoRun,     // the token-by-token path decides
    kTextRun,   // the run only extends the text value on top of the stack
    kBlankRun,  // a run of blanks only extends the blank run on top, provided
                // the state beneath is a kTextRun state
};

// kTextRun: the states with an `expression` on top, where a run becomes a
// `string` appended to it, and the state with that `string` on top. kBlankRun:
// the state with a `whitespace` on top of those. Text runs anywhere else
// (macro names, header trailers, the name argument of ^macro_new, the text
// arguments of ^char and ^optimize, the two characters of ^sort) take the
// token-by-token path.
struct RunKinds {
    std::array<RunKind, pa::YYNSTATES> kind{};
    // The kTextRun states with a `string` on top, the expression it joins
    // beneath it.
    std::array<bool, pa::YYNSTATES> string_on_expression{};

    constexpr RunKinds() {
        // Text tokens are the terminals that can begin a `symbol`, blanks
        // those that can begin a `whitespace`.
        auto shifts_all = [](int s, const auto& symbols) {
            for (int symbol : symbols)
                if (!shifts(s, symbol)) return false;
            return true;
        };
        auto shifts_text = [&](int s) { return shifts_all(s, grammar::kSymbolFirst); };
        auto shifts_blanks = [&](int s) { return shifts_all(s, grammar::kWhitespaceFirst); };
        auto mark_blank_state = [&](int s) {
            int w = goto_state(s, pa::YYSYMBOL_whitespace);
            if (pa::yystos[w] == pa::YYSYMBOL_whitespace && shifts_blanks(w))
                kind[static_cast<std::size_t>(w)] = kBlankRun;
        };
        for (int s = 0; s < pa::YYNSTATES; ++s) {
            if (pa::yystos[s] != pa::YYSYMBOL_expression || !shifts_text(s)) continue;
            int string_state = goto_state(s, pa::YYSYMBOL_string);
            if (pa::yystos[string_state] != pa::YYSYMBOL_string || !shifts_text(string_state))
                continue;
            kind[static_cast<std::size_t>(s)] = kTextRun;
            kind[static_cast<std::size_t>(string_state)] = kTextRun;
            string_on_expression[static_cast<std::size_t>(string_state)] = true;
            mark_blank_state(s);
            mark_blank_state(string_state);
        }
    }
};

constexpr RunKinds kRunKinds;

// bison's compressed tables unpacked into plain arrays: one load per parser
// step instead of a base, a bounds check and a check entry. The decisions
// are the compressed tables' own, entry for entry.
struct DenseTables {
    static constexpr int ntokens = pa::YYNTOKENS;
    static constexpr int nstates = pa::YYNSTATES;
    static constexpr int nonterminals = pa::YYNNTS;
    // [state * ntokens + symbol]: a shift to state n (n > 0), a reduction by
    // rule r (-r), or an error (0).
    std::array<std::int16_t, static_cast<std::size_t>(nstates) * ntokens> action{};
    // Per state: whether it decides without a look-ahead, and then its rule
    // (0 for an error).
    std::array<std::uint8_t, nstates> without_lookahead{};
    std::array<std::uint8_t, nstates> default_rule{};
    // [nonterminal * nstates + state]: the state after the nonterminal.
    std::array<std::int16_t, static_cast<std::size_t>(nonterminals) * nstates> go{};
    // Per rule: the length of its right-hand side, and where the row of its
    // left-hand side starts in `go`.
    static constexpr int nrules = static_cast<int>(std::extent_v<decltype(pa::yyr2)>);
    std::array<std::int8_t, nrules> rule_length{};
    std::array<std::int32_t, nrules> rule_go{};

    constexpr DenseTables() {
        for (int s = 0; s < nstates; ++s) {
            const auto row = static_cast<std::size_t>(s);
            default_rule[row] = pa::yydefact[s];
            int base = pa::yypact[s];
            if (base == pa::YYPACT_NINF) {
                without_lookahead[row] = 1;
                continue;
            }
            for (int x = 0; x < ntokens; ++x) {
                int n = base + x;
                int a;
                if (n < 0 || n > pa::YYLAST || pa::yycheck[n] != x)
                    a = -pa::yydefact[s];
                else if (pa::yytable[n] == pa::YYTABLE_NINF)
                    a = 0;
                else
                    a = pa::yytable[n];  // a shift (> 0) or -rule
                action[row * ntokens + static_cast<std::size_t>(x)] = static_cast<std::int16_t>(a);
            }
        }
        for (int r = 0; r < nrules; ++r) {
            rule_length[static_cast<std::size_t>(r)] = pa::yyr2[r];
            rule_go[static_cast<std::size_t>(r)] = (pa::yyr1[r] - ntokens) * nstates;
        }
        for (int lhs = 0; lhs < nonterminals; ++lhs)
            for (int s = 0; s < nstates; ++s)
                go[static_cast<std::size_t>(lhs) * nstates + static_cast<std::size_t>(s)] =
                    static_cast<std::int16_t>(goto_state(s, lhs + ntokens));
    }
};

constexpr DenseTables kDenseTables;

// A text run taken token by token pushes at most three entries above the
// state it starts in (a string, a blank run and its next blank); the fast
// path is used only where that cannot reach the stack limit, so an overflow
// happens exactly where the token-by-token path would have it.
constexpr int kTextRunHeadroom = 4;

// A construction converted in a run (ConstructionWriter) would push, token by
// token, its caret, keyword, "[", the argument's expression and its text
// (a string and a blank run with its next blank) above the expression it
// joins: never more than this.
constexpr int kConstructionHeadroom = 12;
// The queue ahead of a construction queued whole may deepen the stack before
// it: each of its tokens shifts one entry and may bring two empty ones (an
// argument's expression, a marker or a mid-rule action).
constexpr int kQueuedDepth = 3 * PendingTokens::kCapacity;

// The two stacks, in the call's storage first and then in one heap block.
class Stacks {
  public:
    Stacks(Conversion& cv, int initial, int limit) : cv_(cv), capacity_(initial), limit_(limit) {}
    ~Stacks() {
        if (states_ != states_local_) cv_.stack_free(states_);
    }
    Stacks(const Stacks&) = delete;
    Stacks& operator=(const Stacks&) = delete;

    std::int16_t* states() { return states_; }
    Text** values() { return values_; }
    int capacity() const { return capacity_; }

    // Doubles the capacity (to no more than the limit), keeping `used`
    // entries. False when the limit is reached or memory runs out.
    bool grow(int used) {
        if (capacity_ >= limit_) return false;
        int capacity = capacity_ * 2 < limit_ ? capacity_ * 2 : limit_;
        std::size_t state_bytes = sizeof(std::int16_t) * static_cast<std::size_t>(capacity);
        state_bytes = (state_bytes + alignof(Text*) - 1) / alignof(Text*) * alignof(Text*);
        void* block =
            cv_.stack_alloc(state_bytes + sizeof(Text*) * static_cast<std::size_t>(capacity));
        if (!block) return false;
        auto* states = static_cast<std::int16_t*>(block);
        auto* values = reinterpret_cast<Text**>(static_cast<char*>(block) + state_bytes);
        std::memcpy(states, states_, sizeof(std::int16_t) * static_cast<std::size_t>(used));
        std::memcpy(values, values_, sizeof(Text*) * static_cast<std::size_t>(used));
        if (states_ != states_local_) cv_.stack_free(states_);
        states_ = states;
        values_ = values;
        capacity_ = capacity;
        return true;
    }

  private:
    static constexpr int kLocal = 200;
    // The stacks start in the local arrays, at bison's initial depth.
    static_assert(kLocal >= grammar::kInitialDepth);
    Conversion& cv_;
    std::int16_t states_local_[kLocal];
    Text* values_local_[kLocal];
    std::int16_t* states_ = states_local_;
    Text** values_ = values_local_;
    int capacity_;
    int limit_;
};

// A run that goes on from a string (after a token taken one by one, or a
// read) goes into the expression beneath it instead: the string is only ever
// joined to that expression, and a run through many constructions would
// otherwise grow the two side by side, each moved as it outgrows its block.
// So the string is joined now, as its reduction will join it, and its entry
// keeps an empty value. Returns the expression.
Text* join_string_early(Conversion& cv, Text** vsp) {
    if (!vsp[0]->empty()) {
        vsp[-1] = append(cv.pool, vsp[-1], vsp[0]);
        vsp[0] = cv.make({});
    }
    return vsp[-1];
}

// Writes the construction queued whole at `i` behind `top`, and takes its
// "]" as the last token, as its reduction would have it.
void apply_queued(RunConstructions& writer, const PendingTokens& q, int i, Text& top,
                  Conversion& cv) {
    const char* argument = q.argument[i];
    const std::size_t length = q.argument_length[i];
    writer.write(q.construction[i], std::string_view(argument, length), top);
    cv.scan.defer_last_token(argument + length, 1);
}

}  // namespace

int parse_document(Conversion& cv) {
    const ParserTables& t = parser_tables();
    const DenseTables& d = kDenseTables;
    const auto& runs = kRunKinds.kind;
    Stacks stacks(cv, grammar::kInitialDepth, grammar::kMaxDepth);

    const std::int16_t* const action = d.action.data();
    const std::int16_t* const go = d.go.data();
    const std::uint8_t* const without_lookahead = d.without_lookahead.data();
    const int ntokens = d.ntokens;

    std::int16_t* ssp = stacks.states();
    Text** vsp = stacks.values();
    // The entry whose filling makes the stack grow.
    std::int16_t* ssp_last = ssp + stacks.capacity() - 1;
    *vsp = nullptr;
    int state = 0;
    int lookahead = kNoToken;  // token code held, or none
    int token = 0;             // its terminal symbol
    Text* lookahead_value = nullptr;
    int rule = 0;
    // The text fast path, and the structure tokens it took ahead of the
    // parser.
    RunConstructions run_constructions(cv);
    TextRuns text_runs(cv, &run_constructions);
    PendingTokens pending;
    int queued = -1;  // the entry of `pending` held as the look-ahead, when
                      // it is a construction queued whole

    for (;;) {
        // Push the current state; grow when that filled the last slot.
        *ssp = static_cast<std::int16_t>(state);
        if (ssp >= ssp_last) {
            int used = static_cast<int>(ssp - stacks.states()) + 1;
            if (!stacks.grow(used)) {
                report_syntax_error(cv, DiagnosticCode::stack_overflow, "parser stack overflow");
                return 2;
            }
            ssp = stacks.states() + used - 1;
            vsp = stacks.values() + used - 1;
            ssp_last = stacks.states() + stacks.capacity() - 1;
        }
        if (state == pa::YYFINAL) return 0;

        // Decide without a look-ahead where the state allows it.
        if (without_lookahead[state]) {
            rule = d.default_rule[static_cast<std::size_t>(state)];
        } else {
            if (lookahead == kNoToken) {
                if (pending.empty()) {
                    int used = static_cast<int>(ssp - stacks.states()) + 1;
                    RunKind run = runs[static_cast<std::size_t>(state)];
                    if (run == kBlankRun &&
                        (used < 2 || runs[static_cast<std::size_t>(ssp[-1])] != kTextRun ||
                         !text_runs.blank_may_follow()))
                        run = kNoRun;
                    if (run != kNoRun && used + kTextRunHeadroom < grammar::kMaxDepth) {
                        pending.count = pending.next = 0;
                        Text* into = *vsp;
                        if (kRunKinds.string_on_expression[static_cast<std::size_t>(state)])
                            into = join_string_early(cv, vsp);
                        text_runs.scan(
                            *into, run == kBlankRun, &pending,
                            used + kConstructionHeadroom + kQueuedDepth < grammar::kMaxDepth);
                    }
                }
                if (!pending.empty()) {
                    int i = pending.next++;
                    lookahead = pending.code[i];
                    lookahead_value = nullptr;
                    queued = pending.construction[i] != 0 ? i : -1;
                    cv.scan.defer_last_token(pending.text[i], pending.length[i]);
                } else {
                    cv.scan.settle_last_token();
                    lookahead = next_token(&lookahead_value, cv.scan.flex);
                }
            }
            if (lookahead <= 0) {
                lookahead = 0;
                token = 0;
            } else {
                token = lookahead <= pa::YYMAXUTOK ? pa::yytranslate[lookahead]
                                                   : grammar::kUndefinedSymbol;
            }
            int a = action[state * ntokens + token];
            if (a > 0 && queued >= 0) {
                // Its caret would shift here, on the expression its
                // reduction joins: the same bytes, and the same state after.
                apply_queued(run_constructions, pending, queued, **vsp, cv);
                queued = -1;
                lookahead = kNoToken;
                continue;
            }
            if (a > 0) {  // shift
                state = a;
                *++vsp = lookahead_value;
                lookahead_value = nullptr;
                if (lookahead != 0) lookahead = kNoToken;
                ++ssp;
                continue;
            }
            rule = -a;
        }

        if (rule == 0) {
            // Syntax error: list what this state could have shifted.
            int expected[4];
            int count = 0;
            int base = t.pact[*ssp];
            if (base != t.pact_ninf) {
                int begin = base < 0 ? -base : 0;
                int end = t.last - base + 1 < t.ntokens ? t.last - base + 1 : t.ntokens;
                for (int x = begin; x < end; ++x) {
                    if (t.check[x + base] != x || x == grammar::kErrorSymbol ||
                        t.table[x + base] == t.table_ninf)
                        continue;
                    if (count == 4) {
                        count = 0;
                        break;
                    }
                    expected[count++] = x;
                }
            }
            report_unexpected(cv, token, expected, count);
            return 1;
        }

        // Reduce.
        int length = d.rule_length[static_cast<std::size_t>(rule)];
        Text* value = length > 0 ? vsp[1 - length] : nullptr;
        run_action(rule, vsp, value, cv);
        ssp -= length;
        vsp -= length;
        *++vsp = value;
        state = go[d.rule_go[static_cast<std::size_t>(rule)] + *ssp];
        ++ssp;
    }
}

}  // namespace tvconv
