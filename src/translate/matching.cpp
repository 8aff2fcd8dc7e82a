// Pattern matching and option sets.  TODO: not yet converted (placeholder bodies).
#include "translate/build.h"
#include "translate/translate.h"

namespace tvconv::tr {

Text* match_4(Conversion& cv, Text* pattern, Text* options, Text* code, Text* string) {  // 116
    cv.release(pattern);
    cv.release(options);
    cv.release(code);
    cv.release(string);
    return cv.make("TODO");
}

Text* match_3(Conversion& cv, Text* pattern, Text* options, Text* string) {  // 117
    cv.release(pattern);
    cv.release(options);
    cv.release(string);
    return cv.make("TODO");
}

Text* optionset_2(Conversion& cv, Text* a, Text* b) {  // 118
    cv.release(a);
    cv.release(b);
    return cv.make("TODO");
}

Text* optionclear_2(Conversion& cv, Text* a, Text* b) {  // 119
    cv.release(a);
    cv.release(b);
    return cv.make("TODO");
}

Text* optionand_2(Conversion& cv, Text* a, Text* b) {  // 120
    cv.release(a);
    cv.release(b);
    return cv.make("TODO");
}

Text* optionor_2(Conversion& cv, Text* a, Text* b) {  // 121
    cv.release(a);
    cv.release(b);
    return cv.make("TODO");
}

Text* optioncount_1(Conversion& cv, Text* a) {  // 122
    cv.release(a);
    return cv.make("TODO");
}

}  // namespace tvconv::tr
