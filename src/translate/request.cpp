// Request, environment and response operators: one template per
// construction; counter, browser and three-argument cookie lean on helper
// methods because Tavrin 3 has no direct counterpart.
#include <string_view>

#include "translate/build.h"
#include "translate/translate.h"

namespace tvconv::tr {
namespace {

// Helper-method texts are registered verbatim, never formatted: the "%010d"
// of the counter is the target language's own format string.
constexpr std::string_view kCounterHelper =
    "@counter[unused_filename]\n^try{\n$unused_table[^table::load[nameless;${unused_filename}."
    "count]]\n}{^if($exception.type eq "
    "file.missing){$exception.handled(1)$unused_table[^table::create[nameless]{0}]}}\n$unused_var[$"
    "unused_table.0]\n$unused_var[^unused_var.match[^^0+][]{}]\n$unused_var[^unused_var.int(0)]\n$"
    "result[$unused_var]\n$unused_var[^eval($unused_var+1)]\n$unused_table[^table::create[nameless]"
    "{^unused_var.format[%010d]}]\n^unused_table.save[nameless;${unused_filename}.count]\n\n";

constexpr std::string_view kBrowserHelper =
    "@browser[unused_browser;unused_ver]\n$result[]$unused_useragent[^env:HTTP_USER_AGENT.upper[]]"
    "\n^if(^unused_useragent.pos[MSIE ] != -1 && $unused_browser eq "
    "\"ie\"){$unused_msie[$unused_useragent]$unused_msie[^unused_msie.match[^^.*MSIE "
    "(.).*^$][]{$match.1}]^if($unused_msie <= "
    "$unused_ver){$result[$unused_msie]}}\n^if(^unused_useragent.pos[MOZILLA/] != -1 && "
    "$unused_browser eq "
    "\"nn\"){$unused_mozilla[$unused_useragent]$unused_mozilla[^unused_mozilla.match[^^.*MOZILLA\\/"
    "(.).*^$][]{$match.1}]^if($unused_mozilla <= $unused_ver){$result[$unused_mozilla]}}\n\n";

constexpr std::string_view kOldCookieHelper =
    "@old_cookie[unused_name;unused_value;unused_expiration]\n^if($unused_expiration eq "
    "\"session\"){\n$cookie:$unused_name[$.value[$unused_value]$.expires[session]]}{\n$cookie:$"
    "unused_name[$.value[$unused_value]$.expires($unused_expiration)]}\n$result[]\n\n";

}  // namespace

Text* form_1(Conversion& cv, Text* a) {
    return fill(cv, "$form:[%s]", {a});
}

Text* number_1(Conversion& cv, Text* a) {
    return fill(cv, "^form:[%s].int(0)", {a});
}

Text* query_0(Conversion& cv) {
    return cv.make("${request:query}");
}

Text* env_1(Conversion& cv, Text* a) {
    return fill(cv, "${env:[%s]}", {a});
}

Text* uri_0(Conversion& cv) {
    return cv.make("${request:uri}");
}

Text* header_2(Conversion& cv, Text* a, Text* b) {
    return fill(cv, "$response:[%s][%s]", {a, b});
}

Text* counter_1(Conversion& cv, Text* a) {
    cv.registry.register_static(kCounterHelper);
    return fill(cv, "^counter[%s]", {a});
}

// ^cmp[a;b;less;same;more]: both operands are evaluated in each test.
Text* cmp_5(Conversion& cv, Text* a, Text* b, Text* c, Text* d, Text* e) {
    return fill(cv, "^if(%s == %s){%s}{^if(%s < %s){%s}{%s}}", {a, b, d, a, b, c, e});
}

Text* color_2(Conversion& cv, Text* a, Text* b) {
    return fill(cv, "^if($unused_old_color != 1){$unused_old_color[1]%s}{$unused_old_color[0]%s}",
                {a, b});
}

Text* combine_2(Conversion& cv, Text* a, Text* b) {
    return fill(cv, "$unused_table[$form:tables.%s]^unused_table.menu{$unused_table.field}[%s]",
                {a, b});
}

Text* combine_1(Conversion& cv, Text* a) {
    return fill(cv, "$unused_table[$form:tables.%s]^unused_table.menu{$unused_table.field}[|]",
                {a});
}

Text* browser_2(Conversion& cv, Text* a, Text* b) {
    cv.registry.register_static(kBrowserHelper);
    return fill(cv, "^browser[%s;%s]", {a, b});
}

Text* mangle_1(Conversion& cv, Text* a) {
    return fill(cv, "^taint[uri][%s]", {a});
}

Text* cookie_3(Conversion& cv, Text* a, Text* b, Text* c) {
    cv.registry.register_static(kOldCookieHelper);
    return fill(cv, "^old_cookie[%s;%s;%s]", {a, b, c});
}

Text* cookie_2(Conversion& cv, Text* a, Text* b) {
    return fill(cv, "${cookie:[%s][%s]}", {a, b});
}

Text* cookie_1(Conversion& cv, Text* a) {
    return fill(cv, "${cookie:[%s]}", {a});
}

}  // namespace tvconv::tr
