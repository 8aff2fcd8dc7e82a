// Document frame, macro headers, argument lists, text and escapes.
#include "translate/build.h"
#include "translate/translate.h"

namespace tvconv::tr {

// The report for a dropped @MIME_TYPES definition sends users to the target
// language's page on configuration methods.
constexpr std::string_view kMimeTypesRemoved =
    "Unconvertible macro 'MIME_TYPES' (line %d): MIME-TYPES correspondence table must be defined "
    "as table in MAIN (see http://www.tavrin.example/docs/lang/tavrinconfmethod.htm for example) "
    "and can be predefined for standard types; removed (!), edit manually";

Text* document_with_macros(Conversion& cv, Text* leading, Text* definitions) {
    // Text before the first definition was converted (its actions ran) and
    // is dropped.
    cv.release(leading);
    return definitions;
}

Text* macro_main(Conversion& cv, Text* params, Text* line_end, Text* body) {
    cv.release(params);
    cv.release(line_end);
    return body;
}

Text* macro_mime_types(Conversion& cv, Text* params, Text* line_end, Text* body) {
    cv.release(params);
    cv.release(line_end);
    cv.release(body);
    cv.diagnose(DiagnosticCode::mime_types_removed, "MIME_TYPES", kMimeTypesRemoved);
    return cv.make({});
}

Text* macro_definition(Conversion& cv, Text* name, Text* params, Text* line_end, Text* body) {
    cv.release(line_end);
    // Written straight into the registry: a definition is often most of a
    // page, and is then copied once rather than moved behind its header and
    // copied.
    cv.registry.register_format("@m_%s%s\n%s\n\n", {name, params, body});
    cv.release(name);
    cv.release(params);
    cv.release(body);
    return cv.make({});
}

Text* header_line_end(Conversion& cv, Text* line_feed) {
    ++cv.line_number;
    return line_feed;
}

void accept_document(Conversion& cv, Text* document) {
    cv.document = document;
    cv.document_ready = true;
}

Text* no_parameters(Conversion& cv) {
    return cv.make("[]");
}

Text* parameter_list(Conversion& cv, Text* params, Text* trailing) {
    return fill(cv, "[%s]%s", {params, trailing});
}

Text* empty(Conversion& cv) {
    return cv.make({});
}

Text* join(Conversion& cv, Text* a, Text* b) {
    return append(cv.pool, a, b);
}

// The definitions' texts are only ever written out, so a further one is kept
// beside the first rather than copied behind it: a page of several large
// @main sections is then never held twice.
Text* add_definition(Conversion& cv, Text* definitions, Text* definition) {
    if (definition->empty()) {
        cv.release(definition);
    } else {
        cv.document_tail.push_back(definition);
    }
    return definitions;
}

Text* join_arguments(Conversion& cv, Text* arguments, Text* argument) {
    arguments->push_back(';');
    return append(cv.pool, arguments, argument);
}

Text* lone_caret(Conversion& cv) {
    return cv.make("^^");
}

Text* dollar(Conversion& cv, Text* token) {
    token->assign("^$");
    (void)cv;
    return token;
}

Text* line_feed(Conversion& cv, Text* token) {
    ++cv.line_number;
    return token;
}

Text* caret_escape(Conversion& cv, Text* token) {
    char c = token->empty() ? '\0' : token->data()[0];
    token->clear();
    token->push_back('^');
    token->push_back(c);
    (void)cv;
    return token;
}

}  // namespace tvconv::tr
