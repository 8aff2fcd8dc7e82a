#include "core/convert.h"

#include <sys/uio.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "grammar/engine_loop.h"
#include "grammar/parser.h"
#include "lexer/scanner.h"

namespace tvconv {

std::string_view status_name(Status status) {
    switch (status) {
        case Status::accepted:
            return "accepted";
        case Status::syntax_error:
            return "syntax-error";
        case Status::stack_overflow:
            return "stack-overflow";
        case Status::scanner_fatal:
            return "scanner-fatal";
        case Status::out_of_memory:
            return "out-of-memory";
    }
    return "unknown";
}

std::size_t Output::size() const {
    std::size_t n = 0;
    for_each_piece([&](std::string_view s) { n += s.size(); });
    return n;
}

namespace {

// Writes `iov[0..count)` whole to `fd`, going on after a short write or an
// interruption. False (errno set) when a write fails.
bool write_all(int fd, iovec* iov, int count) {
    while (count > 0) {
        const ssize_t n = ::writev(fd, iov, count);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        auto left = static_cast<std::size_t>(n);
        while (count > 0 && left >= iov->iov_len) {
            left -= iov->iov_len;
            ++iov;
            --count;
        }
        if (count > 0) {
            iov->iov_base = static_cast<char*>(iov->iov_base) + left;
            iov->iov_len -= left;
        }
    }
    return true;
}

}  // namespace

// The pieces go out with writev, up to IOV_MAX of them a call: a document of
// many definitions is hundreds of pieces, and a stream would copy each and
// write it in its own call. A stream without a descriptor gets fwrite.
bool Output::write(std::FILE* out) const {
    const int fd = ::fileno(out);
    if (fd < 0 || std::fflush(out) != 0) {
        bool ok = true;
        for_each_piece([&](std::string_view s) {
            if (ok && !s.empty()) ok = std::fwrite(s.data(), 1, s.size(), out) == s.size();
        });
        return ok;
    }
    constexpr int kBatch = IOV_MAX < 1024 ? IOV_MAX : 1024;
    iovec batch[kBatch];
    int count = 0;
    bool ok = true;
    for_each_piece([&](std::string_view s) {
        if (!ok || s.empty()) return;
        batch[count++] = {const_cast<char*>(s.data()), s.size()};
        if (count == kBatch) {
            ok = write_all(fd, batch, count);
            count = 0;
        }
    });
    return ok && write_all(fd, batch, count);
}

std::string Output::str() const {
    std::string s;
    s.reserve(size());
    for_each_piece([&](std::string_view piece) { s += piece; });
    return s;
}

// Lays the document out: takes the helper methods, the document and the
// texts behind it out of the conversion, so that they outlive it. The marks
// of their constructs go to `marks`, as offsets into the laid-out bytes.
class OutputBuilder {
  public:
    static Output take(Conversion& cv, TextMarks& marks) {
        Output o;
        o.present_ = true;
        o.taint_ = !cv.optimize;
        std::size_t at = 0;
        std::size_t entry = 0;
        const std::vector<std::string_view>& helpers = cv.registry.entries();
        for (const Registry::EntryMarks& e : cv.registry.marks()) {
            for (; entry < e.entry; ++entry) at += helpers[entry].size();
            for (TextMark m : e.marks) marks.push_back({at + m.offset, m.diagnostic});
        }
        at = 0;
        Registry::Entries entries = cv.registry.take_entries();
        o.helpers_ = std::move(entries.texts);
        o.helper_bytes_ = std::move(entries.bytes);
        o.for_each_piece([&at](std::string_view s) { at += s.size(); });
        at -= o.taint_ ? kTaintEnd.size() : 0;
        add(o, cv.document, at, marks);
        cv.document = nullptr;
        for (Text*& part : cv.document_tail) {
            add(o, part, at, marks);
            part = nullptr;
        }
        cv.document_tail.clear();
        return o;
    }

  private:
    static constexpr std::string_view kTaintEnd = "]";
    static void add(Output& o, Text* text, std::size_t& at, TextMarks& marks) {
        if (!text) return;
        if (const TextMarks* own = text->marks())
            for (TextMark m : *own) marks.push_back({at + m.offset, m.diagnostic});
        Text::Bytes b = text->take_bytes();
        at += b.size;
        if (b.size) o.body_.push_back({std::unique_ptr<char, Output::Free>(b.data), b.size});
    }
};

namespace {

// Gives each marked diagnostic the line of the laid-out bytes that holds
// its mark: the line feeds are counted once, in order, up to the last mark.
void place_marks(const Output& output, TextMarks& marks, std::vector<Diagnostic>& diagnostics) {
    if (marks.empty()) return;
    std::sort(marks.begin(), marks.end(),
              [](const TextMark& x, const TextMark& y) { return x.offset < y.offset; });
    std::size_t next = 0, start = 0, line = 1;
    output.for_each_piece([&](std::string_view piece) {
        const char* counted = piece.data();
        for (; next < marks.size() && marks[next].offset - start < piece.size(); ++next) {
            const char* at = piece.data() + (marks[next].offset - start);
            line += static_cast<std::size_t>(std::count(counted, at, '\n'));
            counted = at;
            Diagnostic& d = diagnostics[marks[next].diagnostic];
            if (!d.output_line && line <= INT_MAX) d.output_line = static_cast<int>(line);
        }
        if (next < marks.size())
            line +=
                static_cast<std::size_t>(std::count(counted, piece.data() + piece.size(), '\n'));
        start += piece.size();
    });
}

}  // namespace

namespace {

// The scanner lives as long as one conversion, whichever way it ends.
class ScannerGuard {
  public:
    explicit ScannerGuard(Conversion& cv) : cv_(cv) { scanner_create(cv); }
    ~ScannerGuard() { scanner_destroy(cv_.scan); }
    ScannerGuard(const ScannerGuard&) = delete;
    ScannerGuard& operator=(const ScannerGuard&) = delete;

  private:
    Conversion& cv_;
};

Status parse(Conversion& cv, ParserLoop loop) {
    ScannerGuard scanner(cv);
    int result = loop == ParserLoop::ours ? parse_document(cv) : parse_document_reference(cv);
    if (result == 0) return Status::accepted;
    return result == 2 ? Status::stack_overflow : Status::syntax_error;
}

}  // namespace

Result convert(std::FILE* in, const ConvertOptions& options) {
    Result r;
    std::unique_ptr<Conversion> cv;
    try {
        cv = std::make_unique<Conversion>(in);
        cv->pool.set_text_limit(options.max_text_bytes);
        cv->on_diagnostic = options.on_diagnostic;
        cv->renamed_macro_file = options.renamed_macro_file;
        cv->scan.read_block =
            std::clamp<std::size_t>(options.read_block, 1, ScannerState::kLargestReadBlock);
        try {
            r.status = parse(*cv, options.loop);
        } catch (const ScannerFatal& fatal) {
            r.status = Status::scanner_fatal;
            cv->diagnose_without_line(DiagnosticCode::scanner_fatal, fatal.message);
        }
        r.diagnostics = std::move(cv->diagnostics);
        if (r.status != Status::scanner_fatal && cv->document_ready) {
            TextMarks marks;
            r.output = OutputBuilder::take(*cv, marks);
            place_marks(r.output, marks, r.diagnostics);
            // Everything after the document is the error that ended it.
            r.diagnostics_before_output =
                r.status == Status::accepted ? r.diagnostics.size() : r.diagnostics.size() - 1;
        } else {
            r.diagnostics_before_output = r.diagnostics.size();
        }
    } catch (const std::bad_alloc&) {
        // The diagnostics reported before stay; the output is gone. The
        // conversion's texts are given back first, which leaves room.
        r.status = Status::out_of_memory;
        r.output = Output();
        std::vector<Diagnostic> before;
        if (cv && r.diagnostics.empty()) before = std::move(cv->diagnostics);
        cv.reset();
        try {
            if (!before.empty()) r.diagnostics = std::move(before);
            r.diagnostics.push_back(Diagnostic::at(DiagnosticCode::out_of_memory, std::nullopt,
                                                   "tvconv: out of memory"));
        } catch (const std::bad_alloc&) {
        }
        r.diagnostics_before_output = r.diagnostics.size();
    }
    return r;
}

Result convert(std::string_view input, const ConvertOptions& options) {
    // A stdio stream over the bytes, so that they are read exactly as a file
    // is: the same reads, the same buffer boundaries.
    static char empty = '\0';
    char* data = input.empty() ? &empty : const_cast<char*>(input.data());
    std::FILE* in = fmemopen(data, input.size(), "r");
    if (!in) {
        Result r;
        r.status = Status::out_of_memory;
        r.diagnostics.push_back(
            Diagnostic::at(DiagnosticCode::out_of_memory, std::nullopt, "tvconv: out of memory"));
        r.diagnostics_before_output = 1;
        return r;
    }
    Result r = convert(in, options);
    std::fclose(in);
    return r;
}

}  // namespace tvconv
