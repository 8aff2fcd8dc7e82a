#include "driver/conversion.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "grammar/engine_loop.h"
#include "grammar/parser.h"
#include "lexer/scanner.h"

namespace tvconv {

Conversion::Conversion(std::FILE* in_, std::FILE* out_, std::FILE* err_)
    : in(in_), out(out_), err(err_) {}

Conversion::~Conversion() {
    scanner_destroy(scanner);
    std::free(stack_block_);
}

void Conversion::diagnostic(const char* fmt) {
    std::fprintf(err, fmt, line_number);
}

void* Conversion::stack_alloc(std::size_t bytes) {
    // The parser holds at most one heap block: the new one is allocated
    // before the old one is freed, so track the newest and let stack_free
    // forget the old.
    void* p = std::malloc(bytes);
    if (p) stack_block_ = p;
    return p;
}

void Conversion::stack_free(void* p) {
    if (p == stack_block_) stack_block_ = nullptr;
    std::free(p);
}

int Conversion::run() {
    try {
        scanner = scanner_create(*this);
        int result =
            engine == Engine::ours ? parse_document(*this) : parse_document_reference(*this);
        return result == 0 ? kAccepted : kFailed;
    } catch (const ScannerFatal& fatal) {
        std::fprintf(err, "%s\n", fatal.message);
        return kScannerFatal;
    }
}

int convert(std::FILE* in, std::FILE* out, std::FILE* err, Engine engine,
            std::size_t max_text_bytes) {
    try {
        Conversion cv(in, out, err);
        cv.engine = engine;
        cv.pool.set_text_limit(max_text_bytes);
        return cv.run();
    } catch (const std::bad_alloc&) {
        std::fputs("tvconv: out of memory\n", err);
        return kScannerFatal;
    }
}

}  // namespace tvconv
