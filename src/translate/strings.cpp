// String operators.  TODO: not yet converted (placeholder bodies).
#include "translate/build.h"
#include "translate/translate.h"

namespace tvconv::tr {

Text* length_1(Conversion& cv, Text* a) {  // 74
    cv.release(a);
    return cv.make("TODO");
}

Text* left_2(Conversion& cv, Text* a, Text* b) {  // 75
    cv.release(a);
    cv.release(b);
    return cv.make("TODO");
}

Text* right_2(Conversion& cv, Text* a, Text* b) {  // 76
    cv.release(a);
    cv.release(b);
    return cv.make("TODO");
}

Text* mid_3(Conversion& cv, Text* a, Text* b, Text* c) {  // 77
    cv.release(a);
    cv.release(b);
    cv.release(c);
    return cv.make("TODO");
}

Text* findstr_2(Conversion& cv, Text* a, Text* b) {  // 78
    cv.release(a);
    cv.release(b);
    return cv.make("TODO");
}

Text* char_literal(Conversion& cv, Text* s) {  // 79
    cv.release(s);
    return cv.make("TODO");
}

Text* char_1(Conversion& cv, Text* a) {  // 80
    cv.release(a);
    return cv.make("TODO");
}

Text* ascii_1(Conversion& cv, Text* a) {  // 81
    cv.release(a);
    return cv.make("TODO");
}

Text* lsplit_2(Conversion& cv, Text* a, Text* b) {  // 82
    cv.release(a);
    cv.release(b);
    return cv.make("TODO");
}

Text* rsplit_2(Conversion& cv, Text* a, Text* b) {  // 83
    cv.release(a);
    cv.release(b);
    return cv.make("TODO");
}

Text* toupper_1(Conversion& cv, Text* a) {  // 84
    cv.release(a);
    return cv.make("TODO");
}

Text* tolower_1(Conversion& cv, Text* a) {  // 85
    cv.release(a);
    return cv.make("TODO");
}

Text* truncate_2(Conversion& cv, Text* a, Text* b) {  // 86
    cv.release(a);
    cv.release(b);
    return cv.make("TODO");
}

Text* unescape_br_1(Conversion& cv, Text* a) {  // 87
    cv.release(a);
    return cv.make("TODO");
}

}  // namespace tvconv::tr
