// Pattern matching and option sets. Matching becomes a method of the string;
// option sets ("a|b|c") are handled with regular-expression replacements.
#include <string_view>

#include "translate/build.h"
#include "translate/translate.h"

namespace tvconv::tr {

namespace {

// A pattern with a capturing group gives a table of matches, any other
// pattern "yes" or nothing.
constexpr std::string_view kPartMatchHelper =
    "@part_match[unused_template;unused_options;unused_string]\n^if(def "
    "$unused_options){$unused_options[^unused_options.match[n][]{m}]}\n$unused_var[^unused_"
    "template.match[(\\\\\\()|(\\\\\\))][g]{.}]\n^if(^unused_var.match[\\(][]){\n$result[^unused_"
    "string.match[$unused_template][$unused_options']]\n}{^if(^unused_string.match[$unused_"
    "template][$unused_options]){$result[yes]}{$result[]}}\n\n";

}  // namespace

// The grammar has already popped the "unused_match" context that the third
// argument was converted in, so ctx() is the enclosing table here.
Text* match_4(Conversion& cv, Text* pattern, Text* options, Text* code, Text* string) {
    return fill(cv,
                "$unused_variable[%s]$unused_options[%s]^if(def "
                "$unused_options){$unused_options[^unused_options.match[n][]{m}]}^unused_variable."
                "match[%s][$unused_options']{$unused_match[$match]%s}",
                {string, options, pattern, code});
}

// The enclosing table is copied into unused_match so that table references
// inside the string, converted against unused_match, still see it.
Text* match_3(Conversion& cv, Text* pattern, Text* options, Text* string) {
    cv.registry.register_static(kPartMatchHelper);
    return fill(cv,
                "$unused_match[$%s]$unused_table[^part_match[%s;%s;%s]]^if($unused_table is "
                "'string'){$unused_table}{$%s[$unused_table]}",
                {ctx(cv), pattern, options, string, ctx(cv)});
}

Text* optionset_2(Conversion& cv, Text* a, Text* b) {
    return fill(cv,
                "$unused_variable[%s]^if(def $unused_variable && "
                "^unused_variable.match[(^^|\\|)%s(\\||^$)][]){yes}",
                {a, b});
}

Text* optionclear_2(Conversion& cv, Text* a, Text* b) {
    return fill(cv,
                "$unused_variable[%s]^if(def "
                "$unused_variable){$unused_variable[^unused_variable.match[(^^|\\|)%s(\\||^$)][]{${"
                "match.1}}]^unused_variable.match[\\|^$][]{}}",
                {a, b});
}

Text* optionand_2(Conversion& cv, Text* a, Text* b) {
    return fill(cv,
                "$unused_variable_1[%s]$unused_variable_2[%s]^if(def $unused_variable_1 && def "
                "$unused_variable_2){$unused_variable[^unused_variable_1.match[(^^|\\|)([^^|]*)][g]"
                "{^if(^unused_variable_2.match[(^^|\\|)${match.2}(\\||^$)][]){${match.1}${match.2}}"
                "{}}]^unused_variable.match[^^\\|][]{}}",
                {a, b});
}

Text* optionor_2(Conversion& cv, Text* a, Text* b) {
    return fill(cv,
                "$unused_variable_1[%s]$unused_variable_2[%s]^if(def $unused_variable_2){^if(def "
                "$unused_variable_1){^unused_variable_2.match[(^^|\\|)([^^|]*)][g]{^if(! "
                "^unused_variable_1.match[(^^|\\|)${match.2}(\\||^$)][]){$unused_variable_1[$"
                "unused_variable_1|${match.2}]}}^unused_variable_1.match[^^\\|][]{}}{$unused_"
                "variable_2}}{$unused_variable_1}",
                {a, b});
}

Text* optioncount_1(Conversion& cv, Text* a) {
    return fill(cv,
                "$unused_variable[%s]^if(def "
                "$unused_variable){$unused_count[1]$unused_null[^unused_variable.match[\\|][g]{$"
                "unused_count[^eval($unused_count+1)]}]$unused_count}{0}",
                {a});
}

}  // namespace tvconv::tr
