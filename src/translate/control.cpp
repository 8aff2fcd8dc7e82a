// Variables, evaluation and control flow: one template per construction.
#include "translate/build.h"
#include "translate/translate.h"

namespace tvconv::tr {

Text* if_3(Conversion& cv, Text* a, Text* b, Text* c) {
    return fill(cv, "^if(%s){%s}{%s}", {a, b, c});
}
Text* if_2(Conversion& cv, Text* a, Text* b) {
    return fill(cv, "^if(%s){%s}", {a, b});
}
Text* ifdef_3(Conversion& cv, Text* a, Text* b, Text* c) {
    return fill(cv, "^if(def %s){%s}{%s}", {a, b, c});
}
Text* ifdef_2(Conversion& cv, Text* a, Text* b) {
    return fill(cv, "^if(def %s){%s}", {a, b});
}
Text* eval_2(Conversion& cv, Text* a, Text* b) {
    return fill(cv, "^eval(%s)[%s]", {a, b});
}
Text* eval_1(Conversion& cv, Text* a) {
    return fill(cv, "^eval(%s)", {a});
}
Text* var_1(Conversion& cv, Text* a) {
    return fill(cv, "${%s}", {a});
}
Text* var_2(Conversion& cv, Text* a, Text* b) {
    return fill(cv, "$%s[%s]", {a, b});
}

// ^var[n;o;v]: the form is chosen on the converted middle argument, so an
// operator that the text rules escape ("(" becomes "^(") is two bytes long.
Text* var_3(Conversion& cv, Text* n, Text* o, Text* v) {
    if (o->size() == 1 && o->data()[0] == '.') {
        cv.release(o);
        return fill(cv, "$%s[${%s}%s]", {n, n, v});
    }
    if (o->size() == 1) return fill(cv, "$%s[^eval(${%s}%s%s)[%%d]]", {n, n, o, v});
    return fill(cv, "$%s[^eval(%s)[%s]]", {n, v, o});
}

Text* random_1(Conversion& cv, Text* a) {
    if (a->empty()) {
        cv.release(a);
        return cv.make("^math:random(1000000)");
    }
    return fill(cv, "^math:random(%s)", {a});
}

Text* switch_2(Conversion& cv, Text* a, Text* b) {
    return fill(cv, "^switch[%s]{%s}", {a, b});
}
Text* case_2(Conversion& cv, Text* a, Text* b) {
    return fill(cv, "^case[%s]{%s}", {a, b});
}
Text* default_2(Conversion& cv, Text* a, Text* b) {
    return fill(cv, "^if(! def \"%s\"){%s}", {a, b});
}
Text* eq_4(Conversion& cv, Text* a, Text* b, Text* c, Text* d) {
    return fill(cv, "^if(\"%s\" eq \"%s\"){%s}{%s}", {a, b, c, d});
}
Text* eq_3(Conversion& cv, Text* a, Text* b, Text* c) {
    return fill(cv, "^if(\"%s\" eq \"%s\"){%s}", {a, b, c});
}
Text* start_3(Conversion& cv, Text* a, Text* b, Text* c) {
    return fill(cv, "^if(in \"%s\"){%s}{%s}", {a, b, c});
}
Text* for_5(Conversion& cv, Text* a, Text* b, Text* c, Text* d, Text* e) {
    return fill(cv, "^for[%s](%s;%s){%s}{%s}", {a, b, c, d, e});
}
Text* for_4(Conversion& cv, Text* a, Text* b, Text* c, Text* d) {
    return fill(cv, "^for[%s](%s;%s){%s}", {a, b, c, d});
}
Text* while_2(Conversion& cv, Text* a, Text* b) {
    return fill(cv, "^while(%s){%s}", {a, b});
}

}  // namespace tvconv::tr
