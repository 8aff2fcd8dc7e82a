// The plain-text fast path (see text_run.h). It reads the scanner's own
// automaton and buffer through the view the generated scanner exports
// (scanner_tables.h), so that every byte is classified by the automaton that
// the scanner rules built, never by a second copy of the rules. The byte
// tables are in automaton.h, the bulk loops in bulk_loops.cpp, the token
// tables in token_tables.h; this is the scan that drives them, and the queue
// of structure tokens after a run.
#include "lexer/text_run.h"

#include <cstddef>
#include <cstring>
#include <string_view>

#include "context/conversion.h"
#include "grammar/parser.h"
#include "lexer/automaton.h"
#include "lexer/bulk_loops.h"
#include "lexer/scanner_tables.h"
#include "lexer/token_tables.h"
#include "text/text.h"

namespace tvconv {

using namespace fast_path;

namespace {

// A construction that a scan converts whole (see ConstructionWriter).
struct Construction {
    int token = 0;
    std::string_view argument;
    char* end = nullptr;  // past its "]"
};

constexpr bool caret_rule(int r) {
    return r == rule::caret || r == rule::params_caret;
}

// Whether the keyword `w` and its "[" stand at `name`, before `limit`: one
// load and compare where a word of the buffer is there to be read.
bool name_at(const TextRuns::Keywords::Name& w, const char* name, const char* limit) {
    const auto room = static_cast<std::size_t>(limit - name);
    if (room <= w.length) return false;
    if (w.mask != 0 && room >= sizeof(std::uint64_t)) {
        std::uint64_t bytes;
        std::memcpy(&bytes, name, sizeof bytes);
        return ((bytes ^ w.word) & w.mask) == 0;
    }
    return std::memcmp(name, w.text, w.length + 1) == 0;
}

// Whether the bytes from the caret at `p` make a construction that the
// writer takes, all before `limit`: one of its keywords, "[", bytes that are
// text copied as they are, and a "]" that closes the list back into
// `condition` (no plain "[" is open, so it is not text).
bool match_construction(const Conversion& cv, const TextRuns::Keywords& words, int condition,
                        const char* p, const char* limit, Construction& k) {
    if (cv.scan.bracket_nesting != 0 ||
        condition != (cv.scan.param_depth == 0 ? kInitial : kParams))
        return false;
    const char* name = p + 1;
    const TextRuns::Keywords::Name* w = words.name;
    const TextRuns::Keywords::Name* const words_end = w + words.count;
    for (;; ++w) {
        if (w == words_end) return false;
        if (name_at(*w, name, limit)) break;
    }
    const char* q = name + w->length + 1;
    const auto& params = kByteActions.action[kParams][0];
    while (q < limit && params[static_cast<unsigned char>(*q)] == kCopy) ++q;
    if (q >= limit || params[static_cast<unsigned char>(*q)] != kBracketClose) return false;
    k.token = w->token;
    k.argument = {name + w->length + 1, static_cast<std::size_t>(q - name - w->length - 1)};
    k.end = const_cast<char*>(q + 1);
    return true;
}

// Queues the construction whose caret is at `p` whole (see PendingTokens).
void queue_construction(PendingTokens& q, const char* p, const Construction& k) {
    q.code[q.count] = TOK_BIRD;
    q.text[q.count] = p;
    q.length[q.count] = 1;
    q.construction[q.count] = k.token;
    q.argument[q.count] = k.argument.data();
    q.argument_length[q.count] = static_cast<std::uint32_t>(k.argument.size());
    ++q.count;
}

// Queues the structure tokens from `p` on (see PendingTokens) and returns
// where they end. Does what each token's rule does to the start condition
// and the counters, and stops before anything else: text, a "]" or ";" that
// bracket_nesting makes text, a caret not followed by a keyword (the
// catch-all rule after a caret then pushes the byte back), a header, or a
// token not decided by the bytes read so far. When it takes any, `last` is
// the last one and `condition` the start condition after it. A caller that
// has matched the token at `p` already gives its rule and end (`first_rule`
// 0: none).
// With `words`, a construction that the writer takes is queued whole.
char* take_structure(Conversion& cv, char* p, const char* limit, int bol, int& condition,
                     const char*& last, PendingTokens& q, int first_rule, const char* first_end,
                     const TextRuns::Keywords* words) {
    const ShortTokens& shorts = kShortTokens;
    const OperatorNames& names = kOperatorNames;
    int c = condition;
    while (q.count < PendingTokens::kCapacity && (c == kInitial || c == kParams || c == kOpname)) {
        const char* end = first_end;
        int r = first_rule;
        first_rule = 0;
        if (r == 0 && c == kOpname) r = names.lookup(p, limit, end);
        if (r == 0 && c != kOpname &&
            (p >= limit || !shorts.may_begin_structure(c, static_cast<unsigned char>(*p))))
            break;
        if (r == 0) r = shorts.match(c, bol, p, limit, end);
        int code;
        switch (r) {
            case rule::params_caret:
            case rule::caret: {
                // (With nothing queued yet the scan has tried this caret.)
                Construction k;
                if (words && q.count > 0 && match_construction(cv, *words, c, p, limit, k)) {
                    queue_construction(q, p, k);
                    last = k.end - 1;
                    p = k.end;
                    bol = 0;
                    continue;
                }
                code = TOK_BIRD;
                c = kOpname;
                break;
            }
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
        q.construction[q.count] = 0;
        ++q.count;
        last = p;
        p = const_cast<char*>(end);
        bol = 0;
    }
stop:
    if (last) condition = c;
    return p;
}

// Whether "[" after an operator name is the token that opens a list
// whatever byte follows it: the automaton can go no further after it.
constexpr bool opens_alone() {
    const FinalStates is_final;
    const int s = Automaton::next(Automaton::start(kOpname, 0), '[');
    return s != kJamState && is_final(s) && Automaton::accept(s) == rule::opname_open;
}

}  // namespace

// Each keyword is kept with the "[" after it only where the automaton ends
// the name at that "[", and the "[" opens a list whatever follows, so that
// those bytes alone decide the tokens.
TextRuns::Keywords TextRuns::keywords_of(ConstructionWriter* writer) {
    TextRuns::Keywords words;
    words.writer = writer;
    static_assert(opens_alone(), "run constructions expect \"[\" to open a list alone");
    if (!writer) return words;
    kOperatorNames.each([&](std::string_view name, int r) {
        const int token = keyword_token(r);
        if (token == 0 || !writer->takes(token) || words.count == TextRuns::Keywords::kCapacity ||
            name.size() + 2 > sizeof words.name[0].text)
            return;
        auto& w = words.name[words.count];
        std::memcpy(w.text, name.data(), name.size());
        w.text[name.size()] = '[';
        w.text[name.size() + 1] = 'x';
        const char* const probe_end = w.text + name.size() + 2;
        const char* name_end = nullptr;
        if (kOperatorNames.lookup(w.text, probe_end, name_end) != r ||
            name_end != w.text + name.size())
            return;
        w.length = name.size();
        w.token = token;
        // Laid out as the bytes are, whatever the byte order.
        unsigned char word[sizeof w.word] = {};
        unsigned char mask[sizeof w.mask] = {};
        if (name.size() + 1 <= sizeof word) {
            std::memcpy(word, w.text, name.size() + 1);
            std::memset(mask, 0xff, name.size() + 1);
        }
        std::memcpy(&w.word, word, sizeof word);
        std::memcpy(&w.mask, mask, sizeof mask);
        ++words.count;
    });
    return words;
}

TextRuns::TextRuns(Conversion& cv, ConstructionWriter* writer)
    : cv_(cv), bulk_(bulk_setup()), keywords_(keywords_of(writer)) {}

std::size_t TextRuns::scan(Text& into, bool blanks_only, PendingTokens* pending,
                           bool constructions) {
    if (!buffer_.attached() && !buffer_.attach(cv_.scan.flex)) return 0;
    const ScannerPosition at = buffer_.position();
    const int condition = at.condition;
    char* const begin = at.next;
    const char* const limit = at.limit;
    // Unsigned, as it indexes a table at every byte.
    std::size_t bol = at.at_line_start ? 1 : 0;
    if (condition < 0 || condition == kOpname) return 0;
    const Keywords* const words = constructions && keywords_.count > 0 ? &keywords_ : nullptr;
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
        if (may_run && bulk.runs[static_cast<unsigned char>(*p)]) {
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
                    Construction k;
                    if (words && caret_rule(r) &&
                        match_construction(cv_, *words, condition, p, limit, k)) {
                        // Its reduction sees the lines counted so far.
                        into.commit(out);
                        cv_.line_number += lines;
                        lines = 0;
                        keywords_.writer->write(k.token, k.argument, into);
                        out = into.tail(2 * stretch + kSlack);
                        p = k.end;
                        stretch_end =
                            static_cast<std::size_t>(limit - p) > stretch ? p + stretch : limit;
                        last = p - 1;
                        last_rule = 0;
                        bol = 0;
                        may_run = true;
                        continue;
                    }
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
        else  // its text stays in the buffer until the scanner runs again
            cv_.scan.defer_last_token(last, static_cast<std::size_t>(p - last));
        to.last = last;
        to.last_length = static_cast<int>(p - last);
        to.at_line_start = bol != 0;
        cv_.line_number += lines;
    }
    if (pending) {
        const char* structure_last = nullptr;
        char* structure_end = take_structure(cv_, p, limit, static_cast<int>(bol), to.condition,
                                             structure_last, *pending, stop_rule, stop_end, words);
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