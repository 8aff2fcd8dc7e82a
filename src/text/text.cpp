#include "text/text.h"

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

namespace tvconv {

namespace {

constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;

// The heap below this address has been advised; 0 while nobody asked for it.
std::atomic<std::uintptr_t> heap_advised{0};

// A mapping of `size` bytes (a multiple of kHugePage) that starts on a huge
// page, advised to get huge pages; null when there is none.
char* map_huge_pages(std::size_t size) {
    const std::size_t span = size + kHugePage;
    void* p = ::mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(p);
    const std::uintptr_t aligned = (start + kHugePage - 1) & ~(kHugePage - 1);
    if (aligned > start) ::munmap(p, aligned - start);
    if (start + span > aligned + size)
        ::munmap(reinterpret_cast<void*>(aligned + size), start + span - (aligned + size));
    ::madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);
    return reinterpret_cast<char*>(aligned);
}

}  // namespace

ByteStore& ByteStore::operator=(ByteStore&& other) noexcept {
    if (this != &other) {
        clear();
        chunks_ = std::move(other.chunks_);
        next_ = std::exchange(other.next_, nullptr);
        end_ = std::exchange(other.end_, nullptr);
        reserved_ = std::exchange(other.reserved_, 0);
        other.chunks_.clear();
    }
    return *this;
}

void ByteStore::clear() {
    for (const Chunk& c : chunks_) {
        if (c.mapped) {
            ::munmap(c.data, c.size);
        } else {
            std::free(c.data);
        }
    }
    chunks_.clear();
    next_ = end_ = nullptr;
    reserved_ = 0;
}

void ByteStore::add_chunk(std::size_t n) {
    // Each chunk is at least as large as all before it, so there are few;
    // what is left at the end of the one before is not used. Below
    // kMapFrom a huge page would mostly be faulted in for nothing.
    constexpr std::size_t kFirst = 16 * 1024;
    constexpr std::size_t kMapFrom = 256 * 1024;
    std::size_t size = std::max({n, reserved_, kFirst});
    chunks_.reserve(chunks_.size() + 1);
    char* data = nullptr;
    bool mapped = false;
    if (heap_advised.load(std::memory_order_relaxed) && reserved_ + size >= kMapFrom &&
        size <= static_cast<std::size_t>(-1) - 2 * kHugePage) {
        const std::size_t whole = (size + kHugePage - 1) & ~(kHugePage - 1);
        data = map_huge_pages(whole);
        if (data) {
            size = whole;
            mapped = true;
        }
    }
    if (!data) data = static_cast<char*>(std::malloc(size));
    if (!data) throw std::bad_alloc();
    chunks_.push_back({data, size, mapped});
    reserved_ += size;
    next_ = data;
    end_ = data + size;
}

// The pages it advises lie ahead of what malloc has handed out (it grows the
// heap by its top pad ahead of use), so they are not yet touched.
void advise_heap_growth() {
    const std::uintptr_t from = heap_advised.load(std::memory_order_relaxed);
    if (!from) return;
    const auto brk = reinterpret_cast<std::uintptr_t>(::sbrk(0));
    const std::uintptr_t to = brk & ~(kHugePage - 1);
    if (to > from) {
        heap_advised.store(to, std::memory_order_relaxed);
        ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
    } else if (brk < from) {
        // The heap was trimmed: what grows again is a new mapping, unadvised.
        heap_advised.store((brk + kHugePage - 1) & ~(kHugePage - 1), std::memory_order_relaxed);
    }
}

void grow_heap_in_huge_pages() {
    // The heap grows 6 MiB ahead of use, untouched until used. Use reaches
    // the end of the heap before it grows again, so the partial huge page
    // there is faulted page by page: a larger pad would grow the heap more
    // seldom, but malloc serves a block from the pad before it maps one of
    // its own, and a large value grown there is copied; the pad bounds what
    // such a copy adds to the peak.
    constexpr std::size_t kPad = 3 * kHugePage;
    ::mallopt(M_TOP_PAD, static_cast<int>(kPad));
    const auto brk = reinterpret_cast<std::uintptr_t>(::sbrk(0));
    heap_advised.store((brk + kHugePage - 1) & ~(kHugePage - 1), std::memory_order_relaxed);
    // Grows the heap now, by a block too small for malloc to map on its own,
    // so that its growth is advised before anything is put there.
    std::free(std::malloc(64 * 1024));
    advise_heap_growth();
}

Text::~Text() {
    std::free(data_);
    delete marks_;
}

void Text::drop_marks() {
    delete marks_;
    marks_ = nullptr;
}

void Text::shift_marks(std::size_t by) {
    for (TextMark& m : *marks_) m.offset += by;
}

void Text::mark(std::size_t diagnostic) {
    if (!marks_) marks_ = new TextMarks;
    marks_->insert(marks_->begin(), TextMark{0, diagnostic});
}

void Text::take_marks(Text& from, std::size_t shift) {
    if (!from.marks_) return;
    if (!marks_) {
        marks_ = from.marks_;
        from.marks_ = nullptr;
        shift_marks(shift);
        return;
    }
    for (TextMark m : *from.marks_) marks_->push_back({m.offset + shift, m.diagnostic});
    from.drop_marks();
    // A value's bytes may have been taken into the middle of this one (a
    // format built around its longest argument).
    std::stable_sort(marks_->begin(), marks_->end(),
                     [](const TextMark& x, const TextMark& y) { return x.offset < y.offset; });
}

TextMarks Text::release_marks() {
    TextMarks taken;
    if (marks_) taken = std::move(*marks_);
    drop_marks();
    return taken;
}

void Text::grow(std::size_t needed) {
    // Geometric growth keeps appends amortised O(1); realloc lets the C
    // library remap large blocks rather than copy them.
    if (needed > limit_) throw std::bad_alloc();
    std::size_t cap = capacity_ < 16 ? 16 : capacity_ + capacity_ / 2;
    if (cap < needed) cap = needed;
    if (cap > limit_) cap = limit_;
    void* p = std::realloc(data_, cap);
    if (!p) throw std::bad_alloc();
    data_ = static_cast<char*>(p);
    capacity_ = cap;
    advise_heap_growth();
}

void Text::free_storage() {
    std::free(data_);
    data_ = nullptr;
    size_ = 0;
    capacity_ = 0;
}

char* Text::surround(std::size_t before, std::size_t after) {
    std::size_t held = size_;
    reserve(before + held + after);
    if (before && held) std::memmove(data_ + before, data_, held);
    size_ = before + held + after;
    if (marks_) shift_marks(before);
    return data_;
}

void Text::prepend(std::string_view s) {
    if (s.empty()) return;
    std::size_t old_size = size_;
    reserve(size_ + s.size());
    if (old_size) std::memmove(data_ + s.size(), data_, old_size);
    std::memcpy(data_, s.data(), s.size());
    size_ = old_size + s.size();
    if (marks_) shift_marks(s.size());
}

namespace {

// append_values once any value holds marks: theirs move with the bytes.
Text* append_marked(TextPool& pool, Text* a, Text* b) {
    if (b->size() > a->size()) {
        b->prepend(a->view());
        b->take_marks(*a, 0);
        pool.release(a);
        return b;
    }
    const std::size_t at = a->size();
    a->append(b->view());
    a->take_marks(*b, at);
    pool.release(b);
    return a;
}

}  // namespace

Text* append_values(TextPool& pool, Text* a, Text* b) {
    if (!b) return a;
    if (pool.marked()) return append_marked(pool, a, b);
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

namespace {

// Walks the format string and calls emit(piece, arg) for each piece of the result
// in order: a run of its own bytes (arg is null) or a filled directive (arg
// is the value it took).
template <class Emit>
void for_each_piece(const FormatString& t, std::initializer_list<FormatArg> args, Emit&& emit) {
    const std::string_view fmt = t.text();
    const FormatArg* next = args.begin();
    std::size_t i = 0;
    for (int k = 0; i < fmt.size(); ++k) {
        std::size_t pct = t.percent(i, k);
        if (pct == std::string_view::npos) {
            emit(fmt.substr(i), nullptr);
            break;
        }
        if (pct > i) emit(fmt.substr(i, pct - i), nullptr);
        char d = fmt[pct + 1];
        i = pct + 2;
        if (d == '%') {
            emit(fmt.substr(pct, 1), nullptr);
            continue;
        }
        if (d != 's' && d != 'd' && d != 'c') {
            emit(fmt.substr(pct, 2), nullptr);
            continue;
        }
        if (next == args.end()) continue;
        const FormatArg& a = *next++;
        switch (a.kind) {
            case FormatArg::Kind::text:
                emit(a.text, &a);
                break;
            case FormatArg::Kind::integer: {
                char digits[24];
                auto r = std::to_chars(digits, digits + sizeof digits, a.integer);
                emit(std::string_view(digits, static_cast<std::size_t>(r.ptr - digits)), &a);
                break;
            }
            case FormatArg::Kind::byte:
                emit(std::string_view(&a.byte, 1), &a);
                break;
        }
    }
}

// Copies the pieces of a format, nearly all a few bytes long, without a
// call or a loop: two overlapping loads and stores cover every length from
// 2 to 16.
inline void copy_piece(char* to, std::string_view piece) {
    const char* from = piece.data();
    const std::size_t n = piece.size();
    auto copy = [&](auto word) {
        decltype(word) head, tail;
        std::memcpy(&head, from, sizeof word);
        std::memcpy(&tail, from + n - sizeof word, sizeof word);
        std::memcpy(to, &head, sizeof word);
        std::memcpy(to + n - sizeof word, &tail, sizeof word);
    };
    if (n >= 16) {
        std::memcpy(to, from, n);
    } else if (n >= 8) {
        copy(std::uint64_t{});
    } else if (n >= 4) {
        copy(std::uint32_t{});
    } else if (n >= 2) {
        copy(std::uint16_t{});
    } else if (n == 1) {
        *to = *from;
    }
}

// Below this size copying a text argument costs less than moving it.
constexpr std::size_t kReuseBytes = 4096;

// The argument whose value can hold the result: the longest text of at least
// kReuseBytes bytes, given once, with no other argument or the format string
// viewing into its storage. Null if there is none.
const FormatArg* host_argument(std::string_view fmt, std::initializer_list<FormatArg> args) {
    const FormatArg* host = nullptr;
    for (const FormatArg& a : args) {
        if (a.source && a.text.size() >= kReuseBytes &&
            (!host || a.text.size() > host->text.size())) {
            host = &a;
        }
    }
    if (!host || host->source->holds(fmt.data())) return nullptr;
    for (const FormatArg& a : args) {
        if (&a == host) continue;
        if (a.source == host->source) return nullptr;
        if (a.kind == FormatArg::Kind::text && host->source->holds(a.text.data())) return nullptr;
    }
    return host;
}

}  // namespace

namespace {

// format_into for the common case, decided by the caller: the places of the
// percent signs are known and every argument is a text. As for_each_piece,
// with nothing else to decide.
char* fill_texts(char* w, const FormatString& fmt, std::initializer_list<FormatArg> args) {
    const char* f = fmt.text().data();
    const FormatArg* next = args.begin();
    std::size_t i = 0;
    for (int k = 0; k < fmt.places(); ++k) {
        const std::size_t pct = fmt.place(k);
        copy_piece(w, std::string_view(f + i, pct - i));
        w += pct - i;
        const char d = f[pct + 1];
        i = pct + 2;
        if (d != 's' && d != 'd' && d != 'c') {
            // "%%" is one percent sign; any other pair stays as it is.
            w[0] = '%';
            w[1] = d;
            w += d == '%' ? 1 : 2;
            continue;
        }
        if (next == args.end()) continue;
        const std::string_view text = (next++)->text;
        copy_piece(w, text);
        w += text.size();
    }
    const std::size_t rest = fmt.text().size() - i;
    copy_piece(w, std::string_view(f + i, rest));
    return w + rest;
}

// Calls take(source, offset) for each text argument that holds marks, where
// its first use in the result begins (`base` being where the result does).
// Its marks move there; a later use of the same value finds none.
template <class Take>
void for_each_marked(const FormatString& fmt, std::initializer_list<FormatArg> args,
                     std::size_t base, Take&& take) {
    std::size_t at = base;
    for_each_piece(fmt, args, [&](std::string_view piece, const FormatArg* a) {
        if (a && a->source && a->source->marks()) take(*a->source, at);
        at += piece.size();
    });
}

void move_marks(const FormatString& fmt, std::initializer_list<FormatArg> args, std::size_t base,
                Text& out) {
    for_each_marked(fmt, args, base, [&out](Text& from, std::size_t at) {
        if (&from != &out) out.take_marks(from, at);
    });
}

}  // namespace

namespace {

// Room for the format string and every argument (an integer has at most 20
// characters), and whether every argument is a text.
std::size_t room_for(const FormatString& fmt, std::initializer_list<FormatArg> args,
                     bool& texts) {
    std::size_t room = fmt.text().size();
    texts = fmt.places() >= 0;
    for (const FormatArg& a : args) {
        room += a.kind == FormatArg::Kind::text      ? a.text.size()
                : a.kind == FormatArg::Kind::integer ? 20
                                                     : 1;
        texts = texts && a.kind == FormatArg::Kind::text;
    }
    return room;
}

// One pass writing the format at `w`, which has the room; returns the end.
char* write_pieces(char* w, const FormatString& fmt, std::initializer_list<FormatArg> args,
                   bool texts) {
    if (texts) return fill_texts(w, fmt, args);
    for_each_piece(fmt, args, [&w](std::string_view piece, const FormatArg*) {
        copy_piece(w, piece);
        w += piece.size();
    });
    return w;
}

// format_into without the marks: this runs for nearly every construction.
void write_format(Text& out, const FormatString& fmt, std::initializer_list<FormatArg> args) {
    bool texts;
    const std::size_t room = room_for(fmt, args, texts);
    out.commit(write_pieces(out.tail(room), fmt, args, texts));
}

}  // namespace

void format_into(Text& out, const FormatString& fmt, std::initializer_list<FormatArg> args) {
    const std::size_t base = out.size();
    write_format(out, fmt, args);
    move_marks(fmt, args, base, out);
}

std::size_t format_room(const FormatString& fmt, std::initializer_list<FormatArg> args) {
    bool texts;
    return room_for(fmt, args, texts);
}

char* format_chars(char* to, const FormatString& fmt, std::initializer_list<FormatArg> args,
                   TextMarks* marks) {
    bool texts;
    room_for(fmt, args, texts);
    char* end = write_pieces(to, fmt, args, texts);
    if (marks) {
        for_each_marked(fmt, args, 0, [marks](Text& from, std::size_t at) {
            for (TextMark m : from.release_marks()) marks->push_back({m.offset + at, m.diagnostic});
        });
    }
    return end;
}

std::string format_string(const FormatString& fmt, std::initializer_list<FormatArg> args,
                          TextMarks* marks) {
    std::string s(format_room(fmt, args), '\0');
    s.resize(static_cast<std::size_t>(format_chars(s.data(), fmt, args, marks) - s.data()));
    return s;
}

Text* format(TextPool& pool, const FormatString& fmt, std::initializer_list<FormatArg> args) {
    Text* t = pool.make();
    // Decided first, so that the common path holds nothing but t across the
    // call.
    if (pool.marked()) {
        format_into(*t, fmt, args);
        return t;
    }
    write_format(*t, fmt, args);
    return t;
}

Text* format_reusing(TextPool& pool, const FormatString& fmt,
                     std::initializer_list<FormatArg> args) {
    const FormatArg* host = host_argument(fmt.text(), args);
    if (!host) return format(pool, fmt, args);
    std::size_t before = 0, after = 0;
    bool placed = false;
    for_each_piece(fmt, args, [&](std::string_view piece, const FormatArg* a) {
        if (a == host) {
            placed = true;
        } else {
            (placed ? after : before) += piece.size();
        }
    });
    // A value that no directive takes is not part of the result.
    if (!placed) return format(pool, fmt, args);

    Text* result = host->source;
    std::size_t held = result->size();
    char* out = result->surround(before, after);
    std::size_t at = 0;
    for_each_piece(fmt, args, [&](std::string_view piece, const FormatArg* a) {
        if (a == host) {
            at += held;
            return;
        }
        copy_piece(out + at, piece);
        if (a && a->source && pool.marked()) result->take_marks(*a->source, at);
        at += piece.size();
    });
    return result;
}

}  // namespace tvconv
