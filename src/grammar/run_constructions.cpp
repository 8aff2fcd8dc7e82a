#include "grammar/run_constructions.h"

#include <cstdint>
#include <cstring>

#include "context/conversion.h"
#include "grammar/parser.h"
#include "text/text.h"
#include "translate/table_helpers.h"

namespace tvconv {

namespace {

// Copies `s` to `out`. Names and arguments are mostly a few bytes, short
// of what a call of memcpy is worth: up to 16 they are two loads and two
// stores that may overlap, reading and writing only inside both.
char* put(char* out, std::string_view s) {
    const char* from = s.data();
    const std::size_t n = s.size();
    if (n >= 8 && n <= 16) {
        std::uint64_t head, tail;
        std::memcpy(&head, from, 8);
        std::memcpy(&tail, from + n - 8, 8);
        std::memcpy(out, &head, 8);
        std::memcpy(out + n - 8, &tail, 8);
    } else if (n >= 4 && n < 8) {
        std::uint32_t head, tail;
        std::memcpy(&head, from, 4);
        std::memcpy(&tail, from + n - 4, 4);
        std::memcpy(out, &head, 4);
        std::memcpy(out + n - 4, &tail, 4);
    } else if (n < 4) {
        for (std::size_t i = 0; i < n; ++i) out[i] = from[i];
    } else {
        std::memcpy(out, from, n);
    }
    return out + n;
}

}  // namespace

bool RunConstructions::takes(int token) const {
    return token == TOK_ITEM || token == TOK_VAR;
}

void RunConstructions::write(int token, std::string_view argument, Text& into) {
    if (token == TOK_VAR) {
        char* out = into.tail(argument.size() + 3);
        out = put(out, "${");
        out = put(out, argument);
        *out++ = '}';
        into.commit(out);
        return;
    }
    cv_.registry.register_static(tr::kItemHelper);
    const std::string_view context = cv_.contexts.current_name();
    char* out = into.tail(context.size() + argument.size() + 9);
    out = put(out, "^item[$");
    out = put(out, context);
    *out++ = ';';
    out = put(out, argument);
    *out++ = ']';
    into.commit(out);
}

}  // namespace tvconv
