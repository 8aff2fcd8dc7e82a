// Operators on the template itself: macro files, remarks, processing, output
// levels and the whole-document optimize switch.
#include <string_view>

#include "translate/build.h"
#include "translate/translate.h"

namespace tvconv::tr {

namespace {

// Loads a macro file, or every .tvx file of a directory.
constexpr std::string_view kMacroUseHelper =
    "@macro_use[unused_path]\n^if(def "
    "$unused_path){$unused_path[^unused_path.match[\\.cfg^$][]{.tvx}]}\n^if((! def $unused_path) "
    "|| (! -f $unused_path)){\n^if(def "
    "$unused_path){$unused_path[^unused_path.match[[\\/"
    "\\\\]^$][]{}]}\n$unused_filelist[^file:list[${unused_path}/"
    ";\\.tvx^$]]\n^unused_filelist.menu{^use[$unused_path/$unused_filelist.name]}\n}{^if(! def "
    "$MAIN:CLASS_PATH){$MAIN:CLASS_PATH[./]}^use[$unused_path]}\n$result[]\n\n";

// Maps the old level names onto taint languages.
constexpr std::string_view kLevelHelper =
    "@level[unused_converting;unused_text]\n^if(def $unused_converting){\n^if($unused_converting "
    "eq \"config\"){$unused_converting[table]}\n^if($unused_converting eq "
    "\"javascript\"){$unused_converting[js]}\n^if($unused_converting eq "
    "\"none\"){$unused_converting[as-is]}\n}{$unused_converting[html]}\n$result[^taint[$unused_"
    "converting][$unused_text]]\n\n";

}  // namespace

// Reported every time, not only once: each macro file named must be renamed.
Text* macro_use_1(Conversion& cv, Text* a) {
    cv.registry.register_static(kMacroUseHelper);
    Text* result = fill(cv, "^macro_use[%s]", {a});
    cv.diagnose(
        DiagnosticCode::predefinitions_changed, "macro_use",
        "Predefinitions changed (line %d): you must change extension of all files with "
        "macros from .cfg to .tvx and remove leading '_', if you've used tavrin.cfg you must "
        "rename it to auto.tvx everywhere it is");
    return result;
}

Text* macro_exists_1(Conversion& cv, Text* a) {
    return remarked(
        cv, fill(cv, "^rem{^macro_exists[%s]}", {a}), DiagnosticCode::unconvertible_operator,
        "macro_exists",
        "Unconvertible operator 'macro_exists' (line %d): must be replaced by error handling code; "
        "remarked, edit manually");
}

Text* rem_1(Conversion& cv, Text* a) {
    return fill(cv, "^rem{%s}", {a});
}

Text* process_1(Conversion& cv, Text* a) {
    return fill(cv, "^process{%s}", {a});
}

Text* level_2(Conversion& cv, Text* a, Text* b) {
    cv.registry.register_static(kLevelHelper);
    return fill(cv, "^level[%s;%s]", {a, b});
}

// A plain-text argument only sets the flag that the output layout reads once at
// the end, so the last such ^optimize wins. Only the exact "no" clears it.
Text* optimize_literal(Conversion& cv, Text* s) {
    cv.optimize = s->view() != "no";
    s->clear();
    return s;
}

// A computed argument cannot be decided here.
Text* optimize_1(Conversion& cv, Text* a) {
    return remarked(
        cv, fill(cv, "^rem{^optimize[%s]}", {a}), DiagnosticCode::unconvertible_form, "optimize",
        "Unconvertible form of operator 'optimize' (line %d): you have to use taint functionality; "
        "remarked, edit manually");
}

}  // namespace tvconv::tr
