// Remarks, processing and output levels.  TODO: not yet converted (placeholder bodies).
#include "translate/build.h"
#include "translate/translate.h"

namespace tvconv::tr {

Text* macro_use_1(Conversion& cv, Text* a) {  // 59
    cv.release(a);
    return cv.make("TODO");
}

Text* macro_exists_1(Conversion& cv, Text* a) {  // 60
    cv.release(a);
    return cv.make("TODO");
}

Text* rem_1(Conversion& cv, Text* a) {  // 131
    cv.release(a);
    return cv.make("TODO");
}

Text* process_1(Conversion& cv, Text* a) {  // 132
    cv.release(a);
    return cv.make("TODO");
}

Text* level_2(Conversion& cv, Text* a, Text* b) {  // 133
    cv.release(a);
    cv.release(b);
    return cv.make("TODO");
}

Text* optimize_literal(Conversion& cv, Text* s) {  // 134
    cv.release(s);
    return cv.make("TODO");
}

Text* optimize_1(Conversion& cv, Text* a) {  // 135
    cv.release(a);
    return cv.make("TODO");
}

}  // namespace tvconv::tr
