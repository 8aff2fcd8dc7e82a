#include "text/output.h"

#include <cstdio>
#include <string_view>

#include "driver/conversion.h"

namespace tvconv {

namespace {
void put(std::FILE* out, std::string_view s) {
    if (!s.empty()) std::fwrite(s.data(), 1, s.size(), out);
}
}  // namespace

void write_document(Conversion& cv, Text* document) {
    if (!cv.registry.empty()) {
        for (const std::string& helper : cv.registry.entries()) put(cv.out, helper);
        put(cv.out, "\n@main[]\n");
        cv.registry.clear();
    }
    if (!cv.optimize) put(cv.out, "^taint[html][");
    if (document) put(cv.out, document->view());
    cv.release(document);
    for (Text* part : cv.document_tail) {
        put(cv.out, part->view());
        cv.release(part);
    }
    cv.document_tail.clear();
    if (!cv.optimize) put(cv.out, "]");
}

}  // namespace tvconv
