// The token tables (see token_tables.h).
#include "lexer/token_tables.h"

namespace tvconv::fast_path {

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

constexpr ShortTokens kShortTokens;
constexpr OperatorNames kOperatorNames;

}  // namespace tvconv::fast_path
