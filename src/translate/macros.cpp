// Macro calls and ^macro_new definitions.
#include "translate/build.h"
#include "translate/translate.h"

namespace tvconv::tr {

Text* macro_1(Conversion& cv, Text* a) {
    return fill(cv, "^m_%s[]", {a});
}

Text* macro_args(Conversion& cv, Text* name, Text* arguments) {
    return fill(cv, "^m_%s[%s]", {name, arguments});
}

// A named ^macro_new becomes a helper method. Every definition is kept, even
// a repeated one, so it is registered without the equality test.
Text* macro_new_name(Conversion& cv, Text* name, Text* body) {
    if (name->view() == "font") {
        return remarked(cv, fill(cv, "^rem{^macro_new[%s;%s]}", {name, body}),
                        DiagnosticCode::unconvertible_form, "macro_new",
                        "Unconvertible form of 'macro_new' operator (line %d): use font method of "
                        "image class; remarked, edit manually");
    }
    cv.registry.register_format_always("@m_%s\n%s\n\n", {name, body});
    cv.release(name);
    cv.release(body);
    return cv.make({});
}

Text* macro_new_2(Conversion& cv, Text* a, Text* b) {
    return remarked(
        cv, fill(cv, "^rem{^macro_new[%s;%s]}", {a, b}), DiagnosticCode::unconvertible_form,
        "macro_new",
        "Unconvertible form of 'macro_new' operator (line %d); remarked, edit manually");
}

}  // namespace tvconv::tr
