#include "grammar/run_constructions.h"

#include <cstring>

#include "context/conversion.h"
#include "grammar/parser.h"
#include "text/text.h"
#include "translate/table_helpers.h"

namespace tvconv {

namespace {

char* put(char* out, std::string_view s) {
    std::memcpy(out, s.data(), s.size());
    return out + s.size();
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
