// File, process and mail operators.  TODO: not yet converted (placeholder bodies).
#include "translate/build.h"
#include "translate/translate.h"

namespace tvconv::tr {

Text* exec_3(Conversion& cv, Text* a, Text* b, Text* c) {  // 95
    cv.release(a);
    cv.release(b);
    cv.release(c);
    return cv.make("TODO");
}

Text* exec_2(Conversion& cv, Text* a, Text* b) {  // 96
    cv.release(a);
    cv.release(b);
    return cv.make("TODO");
}

Text* exec_1(Conversion& cv, Text* a) {  // 97
    cv.release(a);
    return cv.make("TODO");
}

Text* sendmail_1(Conversion& cv, Text* a) {  // 98
    cv.release(a);
    return cv.make("TODO");
}

Text* uuencode_2(Conversion& cv, Text* a, Text* b) {  // 99
    cv.release(a);
    cv.release(b);
    return cv.make("TODO");
}

Text* name_1(Conversion& cv, Text* a) {  // 100
    cv.release(a);
    return cv.make("TODO");
}

Text* minusf_1(Conversion& cv, Text* a) {  // 101
    cv.release(a);
    return cv.make("TODO");
}

Text* stat_5(Conversion& cv, Text* a, Text* b, Text* c, Text* d, Text* e) {  // 102
    cv.release(a);
    cv.release(b);
    cv.release(c);
    cv.release(d);
    cv.release(e);
    return cv.make("TODO");
}

Text* stat_2(Conversion& cv, Text* a, Text* b) {  // 103
    cv.release(a);
    cv.release(b);
    return cv.make("TODO");
}

Text* find_2(Conversion& cv, Text* a, Text* b) {  // 104
    cv.release(a);
    cv.release(b);
    return cv.make("TODO");
}

Text* find_1(Conversion& cv, Text* a) {  // 105
    cv.release(a);
    return cv.make("TODO");
}

Text* index_2(Conversion& cv, Text* a, Text* b) {  // 106
    cv.release(a);
    cv.release(b);
    return cv.make("TODO");
}

Text* index_1(Conversion& cv, Text* a) {  // 107
    cv.release(a);
    return cv.make("TODO");
}

Text* download_3(Conversion& cv, Text* a, Text* b, Text* c) {  // 108
    cv.release(a);
    cv.release(b);
    cv.release(c);
    return cv.make("TODO");
}

Text* download_2(Conversion& cv, Text* a, Text* b) {  // 109
    cv.release(a);
    cv.release(b);
    return cv.make("TODO");
}

Text* download_1(Conversion& cv, Text* a) {  // 110
    cv.release(a);
    return cv.make("TODO");
}

Text* upload_3(Conversion& cv, Text* a, Text* b, Text* c) {  // 111
    cv.release(a);
    cv.release(b);
    cv.release(c);
    return cv.make("TODO");
}

Text* upload_2(Conversion& cv, Text* a, Text* b) {  // 112
    cv.release(a);
    cv.release(b);
    return cv.make("TODO");
}

Text* unlink_1(Conversion& cv, Text* a) {  // 113
    cv.release(a);
    return cv.make("TODO");
}

Text* include_2(Conversion& cv, Text* a, Text* b) {  // 114
    cv.release(a);
    cv.release(b);
    return cv.make("TODO");
}

Text* include_1(Conversion& cv, Text* a) {  // 115
    cv.release(a);
    return cv.make("TODO");
}

}  // namespace tvconv::tr
