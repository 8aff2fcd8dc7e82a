// Operators on the template itself: macro files, remarks, processing, output
// levels and the whole-document optimize switch.
#include <optional>
#include <string>
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

// The bytes that a converted argument stands for, or nothing when it holds
// a construction: in converted text every caret escapes one of these bytes,
// and a dollar sign stands only behind a caret.
std::optional<std::string> literal_bytes(std::string_view converted) {
    constexpr std::string_view kEscaped = "$^;(){}\"";
    std::string bytes;
    bytes.reserve(converted.size());
    for (std::size_t i = 0; i < converted.size(); ++i) {
        char c = converted[i];
        if (c == '$') return std::nullopt;
        if (c == '^') {
            if (i + 1 == converted.size() || kEscaped.find(converted[i + 1]) == kEscaped.npos)
                return std::nullopt;
            c = converted[++i];
        }
        bytes += c;
    }
    return bytes;
}

// Plain bytes as converted text.
std::string escaped(std::string_view bytes) {
    std::string text;
    for (char c : bytes) {
        if (c == '$' || c == '^' || c == ';' || c == '(' || c == ')' || c == '{' || c == '}' ||
            c == '"')
            text += '^';
        text += c;
    }
    return text;
}

// ^macro_use[DIR/NAME] where NAME is a macro file that the run renames: the
// new name, with DIR as it was. Returns nullptr when the argument is
// computed or names no renamed file.
Text* rewritten_macro_use(Conversion& cv, Text* argument) {
    std::optional<std::string> old = literal_bytes(argument->view());
    if (!old) return nullptr;
    // Both separators: the helper method accepts either.
    std::size_t cut = old->find_last_of("/\\");
    cut = cut == std::string::npos ? 0 : cut + 1;
    std::optional<std::string> renamed =
        cv.renamed_macro_file(std::string_view(*old).substr(cut), *old);
    if (!renamed) return nullptr;
    // Separators are never escaped, so the converted directory part ends at
    // the converted text's own last separator.
    std::string_view converted = argument->view();
    std::size_t converted_cut = cut == 0 ? 0 : converted.find_last_of("/\\") + 1;
    std::string now = old->substr(0, cut) + *renamed;
    Text* result = fill(cv, "^macro_use[%s%s]",
                        {converted.substr(0, converted_cut), std::string_view(escaped(*renamed))});
    cv.release(argument);
    cv.diagnose_at(result, DiagnosticCode::reference_rewritten, "macro_use",
                   "reference rewritten (line %d): " + *old + " -> " + now);
    return result;
}

}  // namespace

// Reported every time, not only once: each macro file named must be renamed.
// A whole-site migration that renames the file itself rewrites the name.
Text* macro_use_1(Conversion& cv, Text* a) {
    cv.registry.register_static(kMacroUseHelper);
    if (cv.renamed_macro_file) {
        if (Text* rewritten = rewritten_macro_use(cv, a)) return rewritten;
    }
    Text* result = fill(cv, "^macro_use[%s]", {a});
    cv.diagnose_at(
        result, DiagnosticCode::predefinitions_changed, "macro_use",
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
