// Contexts and the table constructions. The context stack names the table
// that Tavrin 2's implicit "current table" stands for.
#include <string_view>

#include "translate/build.h"
#include "translate/table_helpers.h"
#include "translate/translate.h"

namespace tvconv::tr {

const std::string_view kItemHelper =
    "@item[unused_table;inum]\n^switch[$inum]{\n^case[count]{$result[^unused_table.count[]]}\n^"
    "case[current]{$result[^unused_table.offset[]]}\n^case[number]{$result[^unused_table.line[]]}"
    "\n^case[DEFAULT]{^if($inum eq "
    "^inum.int(-1)){$unused_table_offset[^unused_table.offset[]]$unused_table_temp[^unused_table."
    "flip[]]$unused_table_temp[^unused_table_temp.flip[]]^unused_table_temp.offset[set]($unused_"
    "table_offset)$result[$unused_table_temp.$inum]}{$inum[^inum.match[\\\\][]{}]$result[$unused_"
    "table.$inum]}}\n}\n\n";

const std::string_view kItemExtHelper =
    "@item_ext[unused_action;unused_table;inum]\n^switch[$unused_action]{\n^case[prev]{^unused_"
    "table.offset[cur](-1)$result[^item[$unused_table;$inum]]^unused_table.offset[cur](1)}\n^case["
    "next]{^unused_table.offset[cur](1)$result[^item[$unused_table;$inum]]^unused_table.offset[cur]"
    "(-1)}\n^case[DEFAULT]{$result[^item[${$unused_action};$inum]]}\n}\n\n";

const std::string_view kOldTableHelper =
    "@old_table[unused_table;unused_columns;unused_code;unused_container]\n$unused_save[^unused_"
    "table.offset[]]\n$unused_length[^unused_table.count[]]\n$unused_rows[^math:ceiling(^eval($"
    "unused_length/"
    "$unused_columns))]\n^for[unused_i](1;$unused_rows){^for[unused_j](1;$unused_columns){$unused_"
    "entry[^eval(($unused_j-1)*$unused_rows+$unused_i-1)]^if($unused_entry < "
    "$unused_length){^unused_table.offset[set]($unused_entry)$unused_code}{<TD>$unused_container</"
    "TD>}}}[</TR><TR>]\n^unused_table.offset[set]($unused_save)\n\n";

void context_open(Conversion& cv, const Text* name) {
    cv.contexts.push(name->view());
}

Text* context_2(Conversion& cv, Text* name, Text* body) {
    cv.contexts.pop();
    cv.release(name);
    return body;
}

Text* match_open(Conversion& cv) {
    cv.contexts.push("unused_match");
    return nullptr;
}
Text* match_close(Conversion& cv) {
    cv.contexts.pop();
    return nullptr;
}

Text* config_1(Conversion& cv, Text* a) {
    return fill(cv, "$%s[^table::create[nameless]{%s}]", {ctx(cv), a});
}

ConfigOptions split_config_options(std::string_view options) {
    ConfigOptions o;
    std::size_t semi = options.find(';');
    o.first = options.substr(0, semi);
    if (semi == std::string_view::npos) return o;
    std::string_view rest = options.substr(semi + 1);
    o.has_second = true;
    o.second = rest.substr(0, rest.find(';'));
    return o;
}

Text* config_options(Conversion& cv, Text* options, Text* body) {
    ConfigOptions o = split_config_options(options->view());
    if (o.first == "named") {
        cv.release(options);
        return fill(cv, "$%s[^table::create{%s}]", {ctx(cv), body});
    }
    if (o.first == "append") {
        cv.release(options);
        return fill(cv, "^%s.append{%s}", {ctx(cv), body});
    }
    if (o.first == "join") {
        // The joined table's rows are appended column by column; the body
        // has no part in it.
        std::string_view j = o.has_second ? o.second : ContextStack::kDefaultName;
        Text* result = format(cv.pool,
                              "^%s.append{^%s.menu{$%s_columns[^%s.columns[]]^%s_columns.menu{$%s_"
                              "columns.column}[\t]}[\n]}",
                              {ctx(cv), j, j, j, j, j});
        cv.release(options);
        cv.release(body);
        return result;
    }
    return remarked(cv, fill(cv, "^rem{^context[%s;^config[%s;%s]]}", {ctx(cv), options, body}),
                    DiagnosticCode::unconvertible_form, "config",
                    "Unconvertible form of 'config' operator (line %d); remarked, edit manually");
}

Text* load_1(Conversion& cv, Text* a) {
    return fill(cv,
                "$%s[^table::load[nameless;$%s_path[%s]^%s_path.match[([^^\\/\\\\]*)^$][]{_$match."
                "1}]]",
                {ctx(cv), ctx(cv), a, ctx(cv)});
}

// ^load[option;path]: the second argument is the table's path; the load
// option has no counterpart here and is dropped.
Text* load_2(Conversion& cv, Text* a, Text* b) {
    cv.release(a);
    return fill(cv, "$%s[^table::load[$%s_path[%s]^%s_path.match[([^^\\/\\\\]*)^$][]{_$match.1}]]",
                {ctx(cv), ctx(cv), b, ctx(cv)});
}

Text* empty_2(Conversion& cv, Text* a, Text* b) {
    return fill(cv, "^if[def ${%s}]{%s}{%s}", {ctx(cv), a, b});
}

Text* item_1(Conversion& cv, Text* a) {
    cv.registry.register_static(kItemHelper);
    return fill(cv, "^item[$%s;%s]", {ctx(cv), a});
}

Text* item_2(Conversion& cv, Text* a, Text* b) {
    cv.registry.register_static(kItemHelper);
    cv.registry.register_static(kItemExtHelper);
    return fill(cv, "^item_ext[%s;$%s;%s]", {a, ctx(cv), b});
}

Text* menu_1(Conversion& cv, Text* a) {
    return fill(cv, "^%s.menu{%s}", {ctx(cv), a});
}
Text* menu_2(Conversion& cv, Text* a, Text* b) {
    return fill(cv, "^%s.menu{%s}{%s}", {ctx(cv), a, b});
}

Text* table_3(Conversion& cv, Text* a, Text* b, Text* c) {
    cv.registry.register_static(kOldTableHelper);
    return fill(cv, "^old_table[$%s;%s]{%s;%s}", {ctx(cv), a, b, c});
}

Text* table_2(Conversion& cv, Text* a, Text* b) {
    cv.registry.register_static(kOldTableHelper);
    return fill(cv, "^old_table[$%s;%s]{%s}", {ctx(cv), a, b});
}

}  // namespace tvconv::tr
