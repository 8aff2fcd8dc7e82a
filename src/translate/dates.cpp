// Dates and images.  TODO: not yet converted (placeholder bodies).
#include "translate/build.h"
#include "translate/translate.h"

namespace tvconv::tr {

Text* date_1(Conversion& cv, Text* a) {  // 123
    cv.release(a);
    return cv.make("TODO");
}

Text* loadtimestamp_1(Conversion& cv, Text* a) {  // 124
    cv.release(a);
    return cv.make("TODO");
}

Text* calendar_4(Conversion& cv, Text* a, Text* b, Text* c, Text* d) {  // 125
    cv.release(a);
    cv.release(b);
    cv.release(c);
    cv.release(d);
    return cv.make("TODO");
}

Text* calendar_3(Conversion& cv, Text* a, Text* b, Text* c) {  // 126
    cv.release(a);
    cv.release(b);
    cv.release(c);
    return cv.make("TODO");
}

Text* dateoffset_3(Conversion& cv, Text* a, Text* b, Text* c) {  // 127
    cv.release(a);
    cv.release(b);
    cv.release(c);
    return cv.make("TODO");
}

Text* imgsize_1(Conversion& cv, Text* a) {  // 128
    cv.release(a);
    return cv.make("TODO");
}

Text* gif_template_3(Conversion& cv, Text* a, Text* b, Text* c) {  // 129
    cv.release(a);
    cv.release(b);
    cv.release(c);
    return cv.make("TODO");
}

Text* gif_template_2(Conversion& cv, Text* a, Text* b) {  // 130
    cv.release(a);
    cv.release(b);
    return cv.make("TODO");
}

}  // namespace tvconv::tr
