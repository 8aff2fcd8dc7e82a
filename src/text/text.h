// Text values: the semantic value of every token and grammar symbol.
//
// Nearly every input byte becomes a token, so text values come from a pool
// that recycles their storage: in the steady state taking a one-byte token
// value, appending it to the text on its left and releasing it costs no heap
// allocation. Storage grows with realloc, which for large blocks remaps pages
// instead of copying, so a document of N bytes holds about N bytes of memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tvconv {

class TextPool;

// A place in a value's bytes where a construct with a diagnostic begins:
// the layout turns it into the output line the diagnostic points to.
struct TextMark {
    std::size_t offset;
    std::size_t diagnostic;  // its index among the conversion's diagnostics
    bool operator==(const TextMark&) const = default;
};
using TextMarks = std::vector<TextMark>;

class Text {
  public:
    Text() = default;
    Text(const Text&) = delete;
    Text& operator=(const Text&) = delete;
    ~Text();

    const char* data() const { return size_ ? data_ : ""; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    std::string_view view() const { return {data(), size_}; }

    void clear() {
        size_ = 0;
        if (marks_) drop_marks();
    }
    // For a value without marks: one just made, or a token.
    void assign(std::string_view s) {
        size_ = 0;
        append(s);
    }
    void append(std::string_view s) {
        if (size_ + s.size() > capacity_) grow(size_ + s.size());
        if (!s.empty()) __builtin_memcpy(data_ + size_, s.data(), s.size());
        size_ += s.size();
    }
    // Puts `s` in front of the bytes already held.
    void prepend(std::string_view s);
    // Grows to `before` + size() + `after` bytes with the bytes held moved
    // to offset `before`, and returns the storage for the caller to write
    // the bytes around them.
    char* surround(std::size_t before, std::size_t after);
    // Whether `p` points into this value's storage.
    bool holds(const char* p) const {
        return data_ && std::less_equal<>()(data_, p) && std::less<>()(p, data_ + capacity_);
    }
    void push_back(char c) {
        if (size_ == capacity_) grow(size_ + 1);
        data_[size_++] = c;
    }
    // Room for `n` more bytes written directly behind the text; `commit`
    // then takes the bytes up to `end` into the text.
    char* tail(std::size_t n) {
        reserve(size_ + n);
        return data_ + size_;
    }
    void commit(const char* end) { size_ = static_cast<std::size_t>(end - data_); }
    void reserve(std::size_t n) {
        if (n > capacity_) grow(n);
    }
    std::size_t capacity() const { return capacity_; }
    // Hands the bytes over to a new owner, who frees them with std::free;
    // the value is left empty.
    struct Bytes {
        char* data;  // nullptr when there are no bytes
        std::size_t size;
    };
    Bytes take_bytes() {
        if (marks_) drop_marks();
        Bytes b{size_ ? data_ : nullptr, size_};
        if (!size_) std::free(data_);
        data_ = nullptr;
        size_ = capacity_ = 0;
        return b;
    }
    // Gives back storage above `limit` bytes so a recycled value does not pin
    // a large block for the rest of the run.
    void trim_storage(std::size_t limit) {
        if (capacity_ > limit) free_storage();
    }

    // The marks, in order of offset; null for nearly every value. Marks
    // are made through the pool (TextPool::mark), move with the bytes they
    // stand on (append, prepend, surround, format) and go when the bytes are
    // cleared or the value released.
    const TextMarks* marks() const { return marks_; }
    // Takes the marks of `from`, their offsets moved by `shift`.
    void take_marks(Text& from, std::size_t shift);
    // Hands the marks over and leaves the value without any.
    TextMarks release_marks();

  private:
    friend class TextPool;
    friend Text* append(TextPool& pool, Text* a, Text* b);

    void grow(std::size_t needed);
    void free_storage();
    void mark(std::size_t diagnostic);
    void drop_marks();
    void shift_marks(std::size_t by);

    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
    std::size_t limit_ = static_cast<std::size_t>(-1);  // the pool's text limit
    Text* next_free_ = nullptr;                         // the pool's free list
    TextMarks* marks_ = nullptr;
};

// Owns every text value of one conversion. Values are handed out as raw
// pointers (the parser's value stack holds them) and come back with
// `release`; whatever is still out when the pool dies is freed with it, so an
// abandoned parse leaks nothing. Released values wait on a list threaded
// through themselves, so recycling one never allocates.
class TextPool {
  public:
    TextPool() = default;
    TextPool(const TextPool&) = delete;
    TextPool& operator=(const TextPool&) = delete;

    Text* make(std::string_view s = {}) {
        Text* t = acquire();
        t->assign(s);
        return t;
    }
    void release(Text* t) {
        if (!t) return;
        t->clear();
        t->trim_storage(kKeepBytes);
        push_free(t);
    }
    std::size_t live() const { return all_.size() - free_count_; }
    // Marks the construct that begins at offset 0 of `t` (a value of at
    // least two bytes: see `append`) as the one of diagnostic `diagnostic`.
    void mark(Text* t, std::size_t diagnostic) {
        marked_ = true;
        t->mark(diagnostic);
    }
    // Whether any value was ever marked: until then no join or format looks
    // for marks to move.
    bool marked() const { return marked_; }

    static constexpr std::size_t kUnbounded = static_cast<std::size_t>(-1);
    // No value from this pool grows beyond `bytes`: growing one past it
    // throws std::bad_alloc. Set before the first value is made.
    void set_text_limit(std::size_t bytes) { limit_ = bytes; }

  private:
    friend Text* append(TextPool& pool, Text* a, Text* b);

    static constexpr std::size_t kKeepBytes = 64 * 1024;
    Text* acquire() {
        if (Text* t = free_) {
            free_ = t->next_free_;
            --free_count_;
            return t;
        }
        Text* t = &all_.emplace_back();
        t->limit_ = limit_;
        return t;
    }
    void push_free(Text* t) {
        t->next_free_ = free_;
        free_ = t;
        ++free_count_;
    }
    std::deque<Text> all_;
    Text* free_ = nullptr;
    std::size_t free_count_ = 0;
    std::size_t limit_ = kUnbounded;
    bool marked_ = false;
};

// `append` of two text values: the result holds a's bytes followed by b's.
// The longer of the two keeps its storage and takes the other's bytes, which
// is then released; the result is whichever was kept.
Text* append_values(TextPool& pool, Text* a, Text* b);

// Nearly every join puts one byte of text behind a longer run. That case is
// decided and done inline, calling nothing, so a caller needs no stack frame
// for it; everything else takes the general path. A one-byte value never
// holds a mark (every marked construct is longer), so b has none to move.
inline Text* append(TextPool& pool, Text* a, Text* b) {
    if (b && b->size_ == 1 && a->size_ != 0 && a->size_ < a->capacity_ &&
        b->capacity_ <= TextPool::kKeepBytes) {
#ifndef NDEBUG
        if (b->marks_) __builtin_trap();
#endif
        a->data_[a->size_++] = b->data_[0];
        b->size_ = 0;
        pool.push_free(b);
        return a;
    }
    return append_values(pool, a, b);
}

// For a process that holds a large document until it ends: malloc grows
// its heap 6 MiB ahead of use, and each whole 2 MiB page of that
// growth gets transparent huge pages before it is touched, so the heap is
// faulted in 2 MiB at a time instead of 4 KiB. Values are grown, and so the
// heap is watched, from any thread; call once, before the first value.
void grow_heap_in_huge_pages();
// Gives the advice for what the heap has grown by since the last call; cheap
// when nothing has. Called where large amounts are allocated.
void advise_heap_growth();

// Storage for bytes that are written once and kept until the output is
// written (the helper methods): handed out in order from chunks that never
// move, so a view into them stays good as long as the store. Once it holds
// more than a little, and the process asked for huge pages
// (grow_heap_in_huge_pages), its chunks are mappings of whole 2 MiB pages:
// the end of malloc's heap never lies in a whole huge page, so bytes kept
// there are faulted in 4 KiB at a time.
class ByteStore {
  public:
    ByteStore() = default;
    ByteStore(ByteStore&& other) noexcept { *this = std::move(other); }
    ByteStore& operator=(ByteStore&& other) noexcept;
    ByteStore(const ByteStore&) = delete;
    ByteStore& operator=(const ByteStore&) = delete;
    ~ByteStore() { clear(); }

    // Room for `n` bytes; throws std::bad_alloc when there is none.
    char* allocate(std::size_t n) {
        if (static_cast<std::size_t>(end_ - next_) < n) add_chunk(n);
        char* p = next_;
        next_ += n;
        return p;
    }
    // Gives back the bytes of the latest allocation from `end` on.
    void shrink_last(char* end) { next_ = end; }
    // Frees every chunk.
    void clear();
    // The bytes of all chunks, handed out or not.
    std::size_t reserved() const { return reserved_; }

  private:
    struct Chunk {
        char* data;
        std::size_t size;
        bool mapped;
    };
    void add_chunk(std::size_t n);
    std::vector<Chunk> chunks_;
    char* next_ = nullptr;
    char* end_ = nullptr;
    std::size_t reserved_ = 0;
};

// One value for a `format` directive: a text for %s, an integer for %d, a
// byte for %c.
struct FormatArg {
    enum class Kind { text, integer, byte };
    FormatArg(Text* t) : kind(Kind::text), text(t ? t->view() : std::string_view{}), source(t) {}
    FormatArg(std::string_view s) : kind(Kind::text), text(s) {}
    FormatArg(const char* s) : kind(Kind::text), text(s) {}
    FormatArg(int i) : kind(Kind::integer), integer(i) {}
    FormatArg(char c) : kind(Kind::byte), byte(c) {}

    Kind kind;
    std::string_view text;
    long long integer = 0;
    char byte = 0;
    Text* source = nullptr;  // the value the text came from, if any
};

// A `format` string, with the places of its percent signs found when it
// is made: for a literal, at compile time, so that filling one (which every
// construction does) never searches it. A format string with more of them than
// are kept, or longer than a place can say, is searched when it is filled.
class FormatString {
  public:
    consteval FormatString(const char* literal) : FormatString(std::string_view(literal)) {}
    constexpr FormatString(std::string_view text) : text_(text) {
        // The percent signs that filling meets: a directive, "%%", or a
        // percent sign before any other byte; not one that ends the string.
        for (std::size_t i = 0;;) {
            std::size_t pct = text.find('%', i);
            if (pct == std::string_view::npos || pct + 1 >= text.size()) break;
            if (places_ == kMaxPlaces || pct > 0xff) {
                places_ = kSearched;
                break;
            }
            place_[places_++] = static_cast<std::uint8_t>(pct);
            i = pct + 2;
        }
    }

    std::string_view text() const { return text_; }
    // The percent sign filling meets first at or after `from`, which is
    // where the previous one's directive ends; npos when there is none.
    // `k` counts the ones met so far.
    std::size_t percent(std::size_t from, int k) const {
        if (places_ == kSearched) {
            std::size_t pct = text_.find('%', from);
            return pct != std::string_view::npos && pct + 1 < text_.size() ? pct
                                                                           : std::string_view::npos;
        }
        return k < places_ ? place_[k] : std::string_view::npos;
    }
    // The places found when it was made, or -1 when it is searched as it
    // is filled.
    int places() const { return places_; }
    std::size_t place(int k) const { return place_[k]; }

  private:
    static constexpr int kMaxPlaces = 8;
    static constexpr int kSearched = -1;
    std::string_view text_;
    std::uint8_t place_[kMaxPlaces]{};
    int places_ = 0;
};

// `format`: fills the directives of `fmt` in order with `args`, appending to
// `out`. %s takes a text, %d an integer, %c a byte, %% is one percent sign.
// An argument's own bytes are copied as they are, never interpreted; a
// directive without a matching argument of its kind expands to nothing.
void format_into(Text& out, const FormatString& fmt, std::initializer_list<FormatArg> args);

// `format` into storage of the caller's, for a text kept outside the pool
// (a helper method): `to` has room for format_room(fmt, args) bytes, and
// the end of the bytes written is returned. The arguments' bytes are copied
// once, straight there. The marks of the text arguments move to `marks`,
// when given, as offsets from `to`.
std::size_t format_room(const FormatString& fmt, std::initializer_list<FormatArg> args);
char* format_chars(char* to, const FormatString& fmt, std::initializer_list<FormatArg> args,
                   TextMarks* marks = nullptr);
// format_chars into a string.
std::string format_string(const FormatString& fmt, std::initializer_list<FormatArg> args,
                          TextMarks* marks = nullptr);

// `format` into a new value from the pool. The arguments are not released
// here: the caller owns them.
Text* format(TextPool& pool, const FormatString& fmt, std::initializer_list<FormatArg> args);

// `format` for a caller that releases its text arguments afterwards: the
// result may be built in the storage of the longest text argument, which is
// then returned itself and must not be released. So a construction around a
// large text (a whole page inside ^if) never holds that text twice.
Text* format_reusing(TextPool& pool, const FormatString& fmt,
                     std::initializer_list<FormatArg> args);

}  // namespace tvconv
