#include "tree/record.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <unordered_set>

#include "tree/io.h"
#include "tree/names.h"
#include "tree/paths.h"

namespace tvconv::tree {

using json = nlohmann::ordered_json;

namespace {

constexpr int kFormatVersion = 1;

// --- writing: by hand, compact, one file to a line --------------------------

// A JSON string of UTF-8 text, escaped as nlohmann-json escapes it. The
// runs between escapes are appended whole: names and hashes rarely hold any.
void put_string(std::string& out, std::string_view s) {
    static constexpr char kDigits[] = "0123456789abcdef";
    out += '"';
    std::size_t run = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c >= 0x20 && c != '"' && c != '\\') continue;
        out.append(s.data() + run, i - run);
        run = i + 1;
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                out += "\\u00";
                out += kDigits[c >> 4];
                out += kDigits[c & 15];
        }
    }
    out.append(s.data() + run, s.size() - run);
    out += '"';
}

// Names and messages are bytes; JSON strings must be UTF-8.
void put_bytes(std::string& out, const std::string& s) {
    if (is_utf8(s)) return put_string(out, s);
    out += "{\"hex\":\"";
    out += hex(reinterpret_cast<const unsigned char*>(s.data()), s.size());
    out += "\"}";
}

void put_number(std::string& out, std::int64_t n) {
    char digits[24];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, n).ptr);
}

void put_number(std::string& out, std::uint64_t n) {
    char digits[24];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, n).ptr);
}

void put_identity(std::string& out, const Identity& id) {
    out += '[';
    put_number(out, id.device);
    out += ',';
    put_number(out, id.inode);
    out += ',';
    put_number(out, id.size);
    out += ',';
    put_number(out, id.mtime_ns);
    out += ']';
}

// A field written only when it has a value, so that entries without one
// read as those of older records.
void put_if_set(std::string& out, std::string_view key, const std::string& value) {
    if (value.empty()) return;
    out += key;
    put_string(out, value);
}

// One file's entry, the same in the record and in a journal line.
void put_file(std::string& out, const std::string& target, const FileRecord& f) {
    out += "{\"target\":";
    put_bytes(out, target);
    out += ",\"source\":";
    put_bytes(out, f.source);
    out += ",\"source_id\":";
    put_identity(out, f.source_id);
    out += ",\"source_hash\":";
    put_string(out, f.source_hash);
    out += ",\"inputs\":";
    put_string(out, f.inputs);
    out += ",\"written_hash\":";
    put_string(out, f.written_hash);
    put_if_set(out, ",\"base_hash\":", f.base_hash);
    put_if_set(out, ",\"conflict_base\":", f.conflict_base);
    out += ",\"target_id\":";
    put_identity(out, f.target_id);
    out += ",\"findings\":[";
    for (std::size_t i = 0; i < f.findings.size(); ++i) {
        const Finding& d = f.findings[i];
        out += i ? ",{\"code\":" : "{\"code\":";
        put_string(out, code_name(d.code));
        out += ",\"line\":";
        if (d.line)
            put_number(out, std::int64_t(*d.line));
        else
            out += "null";
        out += ",\"message\":";
        put_bytes(out, d.message);
        // Only where there is one: an old record has none either.
        if (d.output_line) {
            out += ",\"target_line\":";
            put_number(out, std::int64_t(*d.output_line));
        }
        out += '}';
    }
    out += "]}";
}

// An intent's line: {"intent":TARGET,"written_hash":H,"held":H|null}, with
// no "held" when the file there was not the tool's.
void put_intent(std::string& out, const std::string& target, const Intent& intent) {
    out += "{\"intent\":";
    put_bytes(out, target);
    out += ",\"written_hash\":";
    put_string(out, intent.written_hash);
    if (intent.held == Intent::Held::kHash) {
        out += ",\"held\":";
        put_string(out, intent.held_hash);
    } else if (intent.held == Intent::Held::kNoFile) {
        out += ",\"held\":null";
    }
    put_if_set(out, ",\"base\":", intent.base_hash);
    put_if_set(out, ",\"held_base\":", intent.held_base);
    out += '}';
}

// --- reading ------------------------------------------------------------------

std::string unhex(const std::string& s) {
    std::string out;
    auto digit = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
    for (std::size_t i = 0; i + 1 < s.size(); i += 2)
        out += static_cast<char>(digit(s[i]) * 16 + digit(s[i + 1]));
    return out;
}

std::string bytes_from_json(const json& j) {
    if (j.is_object()) return unhex(j.at("hex").get<std::string>());
    return j.get<std::string>();
}

Identity identity_from(const json& j) {
    return Identity{j.at(0).get<std::uint64_t>(), j.at(1).get<std::uint64_t>(),
                    j.at(2).get<std::uint64_t>(), j.at(3).get<std::int64_t>()};
}

// A code of the table by its name; one the table does not know makes the
// entry unreadable, as a missing key does.
DiagnosticCode code_from(const json& j) {
    const std::string name = j.get<std::string>();
    if (std::optional<DiagnosticCode> code = code_named(name)) return *code;
    (void)json::object().at("code " + name);  // throws out_of_range
    return DiagnosticCode::file_failed;       // not reached
}

std::pair<std::string, FileRecord> file_from(const json& j) {
    FileRecord f;
    f.source = bytes_from_json(j.at("source"));
    f.source_id = identity_from(j.at("source_id"));
    f.source_hash = j.at("source_hash").get<std::string>();
    f.inputs = j.at("inputs").get<std::string>();
    f.written_hash = j.at("written_hash").get<std::string>();
    f.target_id = identity_from(j.at("target_id"));
    if (auto base = j.find("base_hash"); base != j.end()) f.base_hash = base->get<std::string>();
    if (auto base = j.find("conflict_base"); base != j.end())
        f.conflict_base = base->get<std::string>();
    for (const json& d : j.at("findings")) {
        Finding finding = Finding::at(code_from(d.at("code")), std::nullopt, {});
        if (!d.at("line").is_null()) finding.line = d.at("line").get<int>();
        finding.message = bytes_from_json(d.at("message"));
        if (auto line = d.find("target_line"); line != d.end())
            finding.output_line = line->get<int>();
        f.findings.push_back(std::move(finding));
    }
    return {bytes_from_json(j.at("target")), std::move(f)};
}

std::pair<std::string, Intent> intent_from(const json& j) {
    Intent intent;
    intent.written_hash = j.at("written_hash").get<std::string>();
    if (auto held = j.find("held"); held != j.end()) {
        intent.held = held->is_null() ? Intent::Held::kNoFile : Intent::Held::kHash;
        if (!held->is_null()) intent.held_hash = held->get<std::string>();
    }
    if (auto base = j.find("base"); base != j.end()) intent.base_hash = base->get<std::string>();
    if (auto base = j.find("held_base"); base != j.end())
        intent.held_base = base->get<std::string>();
    return {bytes_from_json(j.at("intent")), std::move(intent)};
}

Error journal_error(const Error& e) {
    return Error("cannot write the record's journal", e.path(), e.errnum());
}

}  // namespace

bool Intent::covers(const std::string& hash) const {
    if (hash == written_hash) return true;
    if (held == Held::kHash) return hash == held_hash;
    // A new file that a power cut left empty: renamed, its data never synced.
    static const std::string empty = content_hash({});
    return held == Held::kNoFile && hash == empty;
}

std::string Intent::base_of(const std::string& hash) const {
    if (hash == written_hash) return base_hash.empty() ? hash : base_hash;
    if (held == Held::kHash && hash == held_hash) return held_base.empty() ? hash : held_base;
    return hash;
}

Identity identity_of(const struct stat& st) {
    return Identity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
                    static_cast<std::uint64_t>(st.st_size),
                    static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

Error Record::default_path(const std::string& target, std::string& path) {
    std::string base;
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && xdg[0] == '/') {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home && home[0] == '/') {
        base = std::string(home) + "/.cache";
    } else {
        return Error::because(
            "no cache directory (neither XDG_CACHE_HOME nor HOME is set): name one with --state");
    }
    XXH64_canonical_t c;
    XXH64_canonicalFromHash(&c, XXH3_64bits(target.data(), target.size()));
    path = base + "/tvconv/records/" + hex(c.digest, sizeof c.digest) + ".json";
    return {};
}

Error Record::open(const std::string& path, const std::string& source, const std::string& target) {
    path_ = path;
    source_ = source;
    target_ = target;
    std::error_code ec;
    std::filesystem::path dir = std::filesystem::path(path).parent_path();
    if (!dir.empty()) {
        std::filesystem::create_directories(dir, ec);
        if (ec) return Error("cannot create " + dir.string(), dir.string(), ec.value());
    }
    if (Error e = take_lock(path + ".lock")) return e;
    struct stat target_st;
    store_.open(BaseStore::directory_of(path),
                ::stat(target.c_str(), &target_st) == 0 ? target_st.st_dev : dev_t(-1));
    // A run killed while saving leaves its temporary copy of the record
    // (PATH.XXXXXX); now that the lock is held, none is in use.
    (void)remove_leftovers(dir.empty() ? "." : dir.string(), base_name(path) + ".");
    return load();
}

Error Record::open_read_only(const std::string& path, const std::string& source,
                             const std::string& target) {
    path_ = path;
    source_ = source;
    target_ = target;
    store_.use(BaseStore::directory_of(path));
    return load();
}

// Reads the record and its journal, if there are any.
Error Record::load() {
    const std::string& path = path_;
    std::string data;
    if (Error e = read_file(path, data); e && e.errnum() != ENOENT)
        return Error("cannot read " + path, path, e.errnum());
    if (!data.empty() || ::access(path.c_str(), F_OK) == 0) {
        if (Error e = read(data)) return e;
    }
    std::string journal;
    if (!read_file(path + ".journal", journal)) replay(journal);
    return {};
}

// The lock file is removed when the run ends (see ~Record): a run that
// opened it before that and locked it then holds a lock on a file no longer
// there, and must try again with the path's file.
Error Record::take_lock(const std::string& lock) {
    for (;;) {
        lock_fd_ = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (lock_fd_ < 0) return Error("cannot open " + lock, lock, errno);
        if (::flock(lock_fd_, LOCK_EX | LOCK_NB) != 0) {
            return errno == EWOULDBLOCK
                       ? Error::because("another tvconv-tree run is writing this target now", lock)
                       : Error("cannot lock " + lock, lock, errno);
        }
        struct stat held, named;
        if (::fstat(lock_fd_, &held) != 0) return Error("cannot lock " + lock, lock, errno);
        if (::stat(lock.c_str(), &named) == 0 && named.st_dev == held.st_dev &&
            named.st_ino == held.st_ino) {
            lock_path_ = lock;
            return {};
        }
        ::close(lock_fd_);
        lock_fd_ = -1;
    }
}

// Parses the record straight into files_: each file's entry is taken out of
// the document as soon as it is complete, so that no more than one entry is
// ever held as JSON.
Error Record::read(const std::string& data) {
    std::optional<std::string> unreadable;  // the first entry that is not a file's
    bool in_files = false;
    auto take = [&](int depth, json::parse_event_t event, json& parsed) {
        if (depth == 1 && event == json::parse_event_t::key) in_files = parsed == "files";
        if (depth != 2 || event != json::parse_event_t::object_end || !in_files) return true;
        if (!unreadable) {
            try {
                files_.insert(file_from(parsed));
            } catch (const json::exception& ex) {
                unreadable = ex.what();
            }
        }
        return false;
    };
    try {
        json j = json::parse(data, take);
        if (j.at("format_version").get<int>() != kFormatVersion)
            return Error::because(path_ + ": a record of another format; remove it to start afresh",
                                  path_);
        if (unreadable) throw std::runtime_error(*unreadable);
        // What is left is whatever was not an object.
        for (const json& f : j.at("files")) files_.insert(file_from(f));
        if (auto intents = j.find("intents"); intents != j.end())
            for (const json& i : *intents) intents_.insert(intent_from(i));
    } catch (const std::exception& ex) {
        return Error::because(
            path_ + ": not a readable record (" + ex.what() + "); remove it to start afresh",
            path_);
    }
    return {};
}

// Files written by a run that did not finish: each journal line claims one,
// or announces one (an intent, resolved by a claim after it);
// a line cut off by the end of that run claims nothing, and the lines a
// later run appended after it still count.
void Record::replay(const std::string& journal) {
    std::size_t start = 0;
    while (start < journal.size()) {
        std::size_t end = journal.find('\n', start);
        if (end == std::string::npos) end = journal.size();
        try {
            json j = json::parse(journal.begin() + std::ptrdiff_t(start),
                                 journal.begin() + std::ptrdiff_t(end));
            if (j.is_object() && j.contains("intent")) {
                auto [target_path, intent] = intent_from(j);
                intents_.insert_or_assign(target_path, std::move(intent));
            } else {
                auto [target_path, file] = file_from(j);
                intents_.erase(target_path);
                files_.insert_or_assign(target_path, std::move(file));
            }
            changed_ = true;
        } catch (const json::exception&) {
        }
        start = end + 1;
    }
}

void Record::set_batching(Batching batching) {
    std::lock_guard lock(mutex_);
    batching_ = std::move(batching);
}

const FileRecord* Record::find(const std::string& target_path) const {
    std::lock_guard lock(mutex_);
    auto it = files_.find(target_path);
    return it == files_.end() ? nullptr : &it->second;
}

const Intent* Record::intent(const std::string& target_path) const {
    std::lock_guard lock(mutex_);
    auto it = intents_.find(target_path);
    return it == intents_.end() ? nullptr : &it->second;
}

// With the mutex held: `line` (one file's entry and its line feed) waits
// for the next sync.
void Record::add_claim(const std::string& target_path, FileRecord file, const std::string& line) {
    auto [it, inserted] = files_.insert_or_assign(target_path, std::move(file));
    intents_.erase(target_path);
    changed_ = true;
    batch_lines_.push_back({&it->second, batch_.size(), std::uint32_t(line.size() - 1)});
    batch_ += line;
}

// With the mutex held: counts one more file in the batch; whether it is due.
bool Record::batch_due() {
    auto now = std::chrono::steady_clock::now();
    if (batch_files_++ == 0) batch_started_ = now;
    return batch_files_ >= batching_.files || now - batch_started_ >= batching_.interval;
}

Error Record::claim(const std::string& target_path, const FileRecord& file) {
    std::string line;
    line.reserve(512);
    put_file(line, target_path, file);
    line += '\n';
    bool due;
    {
        std::lock_guard lock(mutex_);
        add_claim(target_path, file, line);
        due = batch_due();
    }
    return due ? flush() : Error();
}

void Record::forget(const std::string& target_path) {
    std::lock_guard lock(mutex_);
    intents_.erase(target_path);
    auto it = files_.find(target_path);
    if (it == files_.end()) return;
    journalled_.erase(&it->second);
    files_.erase(it);
    changed_ = true;
}

unsigned Record::use_slots(unsigned first, unsigned writers) {
    std::lock_guard lock(mutex_);
    // A batch fills to batching_.files before it is placed; the writers may
    // each hold one more meanwhile.
    const unsigned n = unsigned(std::min<std::size_t>(batching_.files, 4096)) + writers;
    free_slots_.clear();
    for (unsigned i = n; i-- > 0;) free_slots_.push_back(first + i);
    slotted_ = true;
    return n;
}

unsigned Record::take_slot() {
    for (int attempt = 0; attempt < 2; ++attempt) {
        {
            std::lock_guard lock(mutex_);
            if (!slotted_) return kNoSlot;
            if (!free_slots_.empty()) {
                unsigned slot = free_slots_.back();
                free_slots_.pop_back();
                return slot;
            }
        }
        // Every slot holds a file of the batch: place them.
        if (attempt == 0) flush_or_keep();
    }
    return kNoSlot;
}

void Record::return_slot(unsigned slot) {
    std::lock_guard lock(mutex_);
    if (slot != kNoSlot) free_slots_.push_back(slot);
}

void Record::on_placed(Placed placed) {
    std::lock_guard lock(mutex_);
    placed_ = std::move(placed);
}

void Record::stage(std::list<Staged>& one) {
    bool due;
    {
        std::lock_guard lock(mutex_);
        staged_.splice(staged_.end(), one);
        due = batch_due();
    }
    if (due) flush_or_keep();
}

// A failure reaches each staged file of the batch through placed_; one of a
// batch of claims alone would reach no one, and is kept for save to report.
void Record::flush_or_keep() {
    bool staged;
    {
        std::lock_guard lock(mutex_);
        staged = !staged_.empty();
    }
    Error error = flush();
    std::lock_guard lock(mutex_);
    if (error && !staged && !unreported_) unreported_ = error;
}

Error Record::sync_target() {
    Error e = batching_.sync ? batching_.sync() : sync_file_system(target_);
    if (e) return Error("cannot sync the target directory", e.path(), e.errnum());
    return store_.sync();
}

// One sync of the target makes both the files the waiting claims name and
// the staged temporary files durable; one sync of the journal then makes
// the claims and the staged files' intents durable; only then are the
// staged files renamed into place. Their claims wait for the next flush.
Error Record::flush() {
    std::lock_guard flushing(flush_mutex_);
    std::string lines;
    std::vector<Line> spans;
    std::list<Staged> staged;
    {
        std::lock_guard lock(mutex_);
        lines.swap(batch_);
        spans.swap(batch_lines_);
        staged.splice(staged.end(), staged_);
        batch_files_ = 0;
    }
    if (lines.empty() && staged.empty()) return {};
    Error error = sync_target();
    if (!error) {
        for (const Staged& s : staged) {
            put_intent(lines, s.target_path, s.intent);
            lines += '\n';
        }
        std::uint64_t at = 0;
        error = append_to_journal(std::move(lines), at);
        if (!error) {
            std::lock_guard lock(mutex_);
            note_spans(spans, at);
        }
    }
    for (Staged& s : staged) place(s, error);
    return error;
}

// With the mutex held: where the lines of `spans` now lie, the batch
// having been written at `at` in the journal.
void Record::note_spans(const std::vector<Line>& spans, std::uint64_t at) {
    for (const Line& l : spans) journalled_[l.file] = Span{at + l.at, l.size};
}

// Renames a staged file into place (unless its batch `failed`) and claims it.
void Record::place(Staged& s, const Error& failed) {
    Error error = failed;
    if (error)
        discard_temporary(s.temp, s.slot);
    else
        error = install_temporary(s.temp, s.path, s.slot);
    std::string line;
    line.reserve(512);
    if (!error) {
        put_file(line, s.target_path, s.file);
        line += '\n';
    }
    Placed placed;
    {
        std::lock_guard lock(mutex_);
        if (s.slot != kNoSlot) free_slots_.push_back(s.slot);
        if (!error) add_claim(s.target_path, std::move(s.file), line);
        placed = placed_;
    }
    if (placed) placed(s.token, error);
}

// Appends `lines` to the journal and syncs it; `at` is where they begin.
Error Record::append_to_journal(std::string lines, std::uint64_t& at) {
    const std::string journal = path_ + ".journal";
    if (journal_fd_ < 0) {
        journal_fd_ = ::open(journal.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        if (journal_fd_ < 0) return Error("cannot write the record's journal", journal, errno);
    }
    struct stat st;
    if (::fstat(journal_fd_, &st) != 0)
        return Error("cannot write the record's journal", journal, errno);
    at = std::uint64_t(st.st_size);
    // A killed run may have left its last line unfinished: this batch must
    // not run into it.
    char last;
    if (st.st_size > 0 && ::pread(journal_fd_, &last, 1, st.st_size - 1) == 1 && last != '\n') {
        lines.insert(0, "\n");
        ++at;
    }
    if (Error e = write_all(journal_fd_, lines, journal)) return journal_error(e);
    if (::fdatasync(journal_fd_) != 0)
        return Error("cannot write the record's journal", journal, errno);
    return {};
}

Error Record::save() {
    bool staged;
    {
        std::lock_guard lock(mutex_);
        staged = !staged_.empty();
    }
    Error flushed = staged ? flush() : Error();
    std::lock_guard flushing(flush_mutex_);
    std::lock_guard lock(mutex_);
    // No base is stored after this: its pack is closed first, so that the
    // sync below covers all it holds and a failure of either is seen.
    if (Error e = store_.close_pack()) return e;
    if (Error e = sync_target()) return e;
    // The journal first: a run killed while writing the record still
    // leaves every claim behind it.
    Error journalled = flushed ? flushed : unreported_;
    if (!batch_.empty()) {
        std::uint64_t at = 0;
        Error e = append_to_journal(std::move(batch_), at);
        if (!e) note_spans(batch_lines_, at);
        if (!journalled) journalled = e;
    }
    batch_.clear();
    batch_lines_.clear();
    batch_files_ = 0;

    if (Error e = atomic_write_with(path_, 0600, kNoSlot, Durability::kSync, base_name(path_) + ".",
                                    [&](int fd) { return write_record(fd); }))
        return Error("cannot write the record " + path_, path_, e.errnum());
    // The record now holds all the journal said.
    if (journal_fd_ >= 0) {
        ::close(journal_fd_);
        journal_fd_ = -1;
    }
    journalled_.clear();
    (void)::unlink((path_ + ".journal").c_str());
    changed_ = false;
    collect_bases();
    return journalled;
}

// The whole record, a piece at a time: each entry this run journalled is
// copied from its journal line, the others written afresh.
Error Record::write_record(int fd) {
    constexpr std::size_t kPiece = 1 << 16;
    std::string out = "{\"format_version\":" + std::to_string(kFormatVersion) +
                      ",\"tool\":\"tvconv-tree " TVCONV_VERSION "\",\"source\":";
    put_bytes(out, source_);
    out += ",\"target\":";
    put_bytes(out, target_);
    out += ",\"files\":[";
    const char* separator = "\n";
    for (const auto& [target, f] : files_) {
        out += separator;
        separator = ",\n";
        const std::size_t start = out.size();
        if (auto it = journalled_.find(&f); it != journalled_.end() && journal_fd_ >= 0) {
            out.resize(start + it->second.size);
            if (::pread(journal_fd_, out.data() + start, it->second.size, off_t(it->second.at)) ==
                ssize_t(it->second.size))
                continue;
            out.resize(start);
        }
        put_file(out, target, f);
        if (out.size() >= kPiece) {
            if (Error e = write_all(fd, out, path_)) return e;
            out.clear();
        }
    }
    out += ']';
    if (!intents_.empty()) {
        out += ",\"intents\":[";
        separator = "\n";
        for (const auto& [target, intent] : intents_) {
            out += separator;
            separator = ",\n";
            put_intent(out, target, intent);
        }
        out += ']';
    }
    out += "}\n";
    return write_all(fd, out, path_);
}

// With the mutex held, the record durable: what no entry or intent names
// is no one's base any more.
void Record::collect_bases() {
    std::unordered_set<std::string_view> live;
    for (const auto& [target, f] : files_) {
        live.insert(f.base_hash);
        live.insert(f.conflict_base);
        // The page as it stood at its conflict: what tells an edit that
        // resolved the conflict from one made elsewhere.
        if (!f.conflict_base.empty()) live.insert(f.written_hash);
    }
    for (const auto& [target, intent] : intents_) {
        live.insert(intent.base_hash);
        live.insert(intent.held_base);
        // A plain write's base is its bytes.
        live.insert(intent.written_hash);
        live.insert(intent.held_hash);
    }
    (void)store_.collect([&](std::string_view hash) { return live.count(hash) != 0; });
}

Record::~Record() {
    if (journal_fd_ >= 0) ::close(journal_fd_);
    // Removed while still held: no other run can hold it meanwhile.
    if (!lock_path_.empty()) (void)::unlink(lock_path_.c_str());
    if (lock_fd_ >= 0) ::close(lock_fd_);
}

}  // namespace tvconv::tree
