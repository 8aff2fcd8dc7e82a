#include "text/text.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

namespace tvconv {

Text::~Text() {
    std::free(data_);
}

void Text::grow(std::size_t needed) {
    // Geometric growth keeps appends amortised O(1); realloc lets the C
    // library remap large blocks rather than copy them.
    std::size_t cap = capacity_ < 16 ? 16 : capacity_ + capacity_ / 2;
    if (cap < needed) cap = needed;
    void* p = std::realloc(data_, cap);
    if (!p) throw std::bad_alloc();
    data_ = static_cast<char*>(p);
    capacity_ = cap;
}

void Text::free_storage() {
    std::free(data_);
    data_ = nullptr;
    size_ = 0;
    capacity_ = 0;
}

void Text::prepend(std::string_view s) {
    if (s.empty()) return;
    std::size_t old_size = size_;
    reserve(size_ + s.size());
    if (old_size) std::memmove(data_ + s.size(), data_, old_size);
    std::memcpy(data_, s.data(), s.size());
    size_ = old_size + s.size();
}

Text* append_values(TextPool& pool, Text* a, Text* b) {
    if (!b) return a;
    // Copying a long run of text behind a short one would hold it twice at
    // the peak: a plain-text document is one such run joined to the empty
    // start of the document. The longer side keeps its storage instead. The
    // grammar's joins are left-recursive, so a right side is a fresh run or
    // construction: its bytes are moved here at most once, and after that
    // they only ever stand on the left.
    if (b->size() > a->size()) {
        b->prepend(a->view());
        pool.release(a);
        return b;
    }
    a->append(b->view());
    pool.release(b);
    return a;
}

void format_into(Text& out, std::string_view tmpl, std::initializer_list<FormatArg> args) {
    std::size_t total = tmpl.size();
    for (const FormatArg& a : args) total += a.text.size();
    out.reserve(out.size() + total);

    const FormatArg* next = args.begin();
    std::size_t i = 0;
    while (i < tmpl.size()) {
        std::size_t pct = tmpl.find('%', i);
        if (pct == std::string_view::npos || pct + 1 >= tmpl.size()) {
            out.append(tmpl.substr(i));
            break;
        }
        out.append(tmpl.substr(i, pct - i));
        char d = tmpl[pct + 1];
        i = pct + 2;
        if (d == '%') {
            out.push_back('%');
            continue;
        }
        if (d != 's' && d != 'd' && d != 'c') {
            out.append(tmpl.substr(pct, 2));
            continue;
        }
        if (next == args.end()) continue;
        const FormatArg& a = *next++;
        switch (a.kind) {
            case FormatArg::Kind::text:
                out.append(a.text);
                break;
            case FormatArg::Kind::integer:
                out.append(std::to_string(a.integer));
                break;
            case FormatArg::Kind::byte:
                out.push_back(a.byte);
                break;
        }
    }
}

Text* format(TextPool& pool, std::string_view tmpl, std::initializer_list<FormatArg> args) {
    Text* t = pool.make();
    format_into(*t, tmpl, args);
    return t;
}

}  // namespace tvconv
