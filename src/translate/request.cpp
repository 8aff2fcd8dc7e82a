// Request, environment and response operators.  TODO: not yet converted (placeholder bodies).
#include "translate/build.h"
#include "translate/translate.h"

namespace tvconv::tr {

Text* form_1(Conversion& cv, Text* a) {  // 52
    cv.release(a);
    return cv.make("TODO");
}

Text* number_1(Conversion& cv, Text* a) {  // 53
    cv.release(a);
    return cv.make("TODO");
}

Text* query_0(Conversion& cv) {  // 54
    return cv.make("TODO");
}

Text* env_1(Conversion& cv, Text* a) {  // 55
    cv.release(a);
    return cv.make("TODO");
}

Text* uri_0(Conversion& cv) {  // 56
    return cv.make("TODO");
}

Text* header_2(Conversion& cv, Text* a, Text* b) {  // 57
    cv.release(a);
    cv.release(b);
    return cv.make("TODO");
}

Text* counter_1(Conversion& cv, Text* a) {  // 58
    cv.release(a);
    return cv.make("TODO");
}

Text* cmp_5(Conversion& cv, Text* a, Text* b, Text* c, Text* d, Text* e) {  // 61
    cv.release(a);
    cv.release(b);
    cv.release(c);
    cv.release(d);
    cv.release(e);
    return cv.make("TODO");
}

Text* color_2(Conversion& cv, Text* a, Text* b) {  // 62
    cv.release(a);
    cv.release(b);
    return cv.make("TODO");
}

Text* combine_2(Conversion& cv, Text* a, Text* b) {  // 88
    cv.release(a);
    cv.release(b);
    return cv.make("TODO");
}

Text* combine_1(Conversion& cv, Text* a) {  // 89
    cv.release(a);
    return cv.make("TODO");
}

Text* browser_2(Conversion& cv, Text* a, Text* b) {  // 90
    cv.release(a);
    cv.release(b);
    return cv.make("TODO");
}

Text* mangle_1(Conversion& cv, Text* a) {  // 91
    cv.release(a);
    return cv.make("TODO");
}

Text* cookie_3(Conversion& cv, Text* a, Text* b, Text* c) {  // 92
    cv.release(a);
    cv.release(b);
    cv.release(c);
    return cv.make("TODO");
}

Text* cookie_2(Conversion& cv, Text* a, Text* b) {  // 93
    cv.release(a);
    cv.release(b);
    return cv.make("TODO");
}

Text* cookie_1(Conversion& cv, Text* a) {  // 94
    cv.release(a);
    return cv.make("TODO");
}

}  // namespace tvconv::tr
