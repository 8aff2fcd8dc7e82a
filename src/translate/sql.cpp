// SQL and table operators.  TODO: not yet converted (placeholder bodies).
#include "translate/build.h"
#include "translate/translate.h"

namespace tvconv::tr {

Text* server_2(Conversion& cv, Text* a, Text* b) {  // 63
    cv.release(a);
    cv.release(b);
    return cv.make("TODO");
}

Text* sql_3(Conversion& cv, Text* a, Text* b, Text* c) {  // 64
    cv.release(a);
    cv.release(b);
    cv.release(c);
    return cv.make("TODO");
}

Text* sql_2(Conversion& cv, Text* a, Text* b) {  // 65
    cv.release(a);
    cv.release(b);
    return cv.make("TODO");
}

Text* sql_1(Conversion& cv, Text* a) {  // 66
    cv.release(a);
    return cv.make("TODO");
}

Text* locate_2(Conversion& cv, Text* a, Text* b) {  // 67
    cv.release(a);
    cv.release(b);
    return cv.make("TODO");
}

Text* shift_1(Conversion& cv, Text* a) {  // 68
    cv.release(a);
    return cv.make("TODO");
}

Text* flip_1(Conversion& cv, Text* a) {  // 69
    cv.release(a);
    return cv.make("TODO");
}

Text* sort_direction(Conversion& cv, Text* column, Text* x, Text* y) {  // 70
    cv.release(column);
    cv.release(x);
    cv.release(y);
    return cv.make("TODO");
}

Text* sort_2(Conversion& cv, Text* a, Text* b) {  // 71
    cv.release(a);
    cv.release(b);
    return cv.make("TODO");
}

Text* save_1(Conversion& cv, Text* a) {  // 72
    cv.release(a);
    return cv.make("TODO");
}

Text* save_2(Conversion& cv, Text* a, Text* b) {  // 73
    cv.release(a);
    cv.release(b);
    return cv.make("TODO");
}

}  // namespace tvconv::tr
