// SQL and table operators. Tavrin 3 has no implicit current table, so each
// of these names the current context's table explicitly.
#include <string_view>

#include "translate/build.h"
#include "translate/table_helpers.h"
#include "translate/translate.h"

namespace tvconv::tr {
namespace {

constexpr std::string_view kLocateHelper =
    "@locate[unused_table;unused_column;unused_value]\n^if($unused_column eq "
    "^unused_column.int(-1)){$unused_table_temp[^unused_table.flip[]]$unused_table_temp[^unused_"
    "table_temp.flip[]]^if(!^unused_table_temp.locate[$unused_column;$unused_value]){^unused_table."
    "offset[set](0)}{^unused_table.offset[set](^unused_table_temp.offset[])}}{^if(!^unused_table."
    "locate[$unused_column;$unused_value]){^unused_table.offset[set](0)}}\n$result[]\n\n";

constexpr std::string_view kFlipHelper =
    "@flip[unused_table;unused_table_name]\n$unused_saved_offset[^unused_table.offset[]]\n$unused_"
    "table_new[^unused_table.select(^unused_table.offset[] eq "
    "$unused_saved_offset)]\n$$unused_table_name[^unused_table_new.flip[]]\n$result[]\n\n";

constexpr std::string_view kSortRemarked =
    "Unconvertible form of 'sort' (line %d): remarked, edit manually";

}  // namespace

// The connection string is taken for a MySQL one; other servers need a
// different scheme, so the user is always told to check it.
Text* server_2(Conversion& cv, Text* a, Text* b) {
    Text* result = fill(cv, "^connect[mysql://%s]{%s}", {a, b});
    cv.diagnose_at(result, DiagnosticCode::ambiguous_conversion, "connect",
                   "No monosemantic conversion for 'connect' (line %d): check first parameter - "
                   "for Oracle and ODBC you have to modify it");
    return result;
}

Text* sql_3(Conversion& cv, Text* a, Text* b, Text* c) {
    return fill(cv, "$%s[^table::sql{%s}[$.limit(%s) $.offset(%s)]]", {ctx(cv), a, b, c});
}

Text* sql_2(Conversion& cv, Text* a, Text* b) {
    return fill(cv, "$%s[^table::sql{%s}[$.limit(%s)]]", {ctx(cv), a, b});
}

Text* sql_1(Conversion& cv, Text* a) {
    return fill(cv, "$%s[^table::sql{%s}]", {ctx(cv), a});
}

Text* locate_2(Conversion& cv, Text* a, Text* b) {
    cv.registry.register_static(kLocateHelper);
    return fill(cv, "^locate[$%s;%s;%s]", {ctx(cv), a, b});
}

Text* shift_1(Conversion& cv, Text* a) {
    return fill(cv, "^%s.offset[cur](%s)", {ctx(cv), a});
}

// ^flip[t] replaces the table t, so the helper gets both the table and its
// name.
Text* flip_1(Conversion& cv, Text* a) {
    cv.registry.register_static(kFlipHelper);
    return fill(cv, "^flip[$%s;%s]", {a, a});
}

// ^sort[column;xy]: y picks a string ("a") or numeric ("d", "n") sort, a
// leading "-" in x makes it descending; anything else is left for the user.
// The item helper goes in even then, as the remark still calls ^item.
Text* sort_direction(Conversion& cv, Text* column, Text* x, Text* y) {
    cv.registry.register_static(kItemHelper);
    const char kind = y->empty() ? '\0' : y->data()[0];
    Text* result;
    if (kind == 'A' || kind == 'a') {
        result = fill(cv, "^%s.sort{^item[$%s;%s]}", {ctx(cv), ctx(cv), column});
    } else if (kind == 'D' || kind == 'N' || kind == 'd' || kind == 'n') {
        result = fill(cv, "^%s.sort(^item[$%s;%s])", {ctx(cv), ctx(cv), column});
    } else {
        result = fill(cv, "^rem{^context[%s;^sort[%s;%s%s]]}", {ctx(cv), column, x, y});
        cv.diagnose_at(result, DiagnosticCode::unconvertible_form, "sort", kSortRemarked);
        return result;
    }
    if (!x->empty() && x->data()[0] == '-') result->append("[desc]");
    cv.release(x);
    cv.release(y);
    return result;
}

Text* sort_2(Conversion& cv, Text* a, Text* b) {
    Text* result = fill(cv, "^rem{^context[%s;^sort[%s;%s]]}", {ctx(cv), a, b});
    cv.diagnose_at(result, DiagnosticCode::unconvertible_form, "sort", kSortRemarked);
    return result;
}

// ^save[path]: the underscore goes in front of the whole path.
Text* save_1(Conversion& cv, Text* a) {
    return fill(cv, "^%s.save[_%s]", {ctx(cv), a});
}

// ^save[path;text]: the underscore goes in front of the path's last
// component, as the table-loading constructions expect.
Text* save_2(Conversion& cv, Text* a, Text* b) {
    return fill(cv,
                "$unused_variable[%s]^unused_variable.save[$unused_variable_filename[%s]^unused_"
                "variable_filename.match[([^^\\/\\\\]*)^$][]{_$match.1}]",
                {b, a});
}

}  // namespace tvconv::tr
