#include "tree/record.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "tree/io.h"
#include "tree/names.h"
#include "tree/paths.h"

namespace tvconv::tree {

using json = nlohmann::ordered_json;

namespace {

constexpr int kFormatVersion = 1;

// --- writing: by hand, compact, one file to a line --------------------------

// A JSON string of UTF-8 text, escaped as nlohmann-json escapes it.
void put_string(std::string& out, std::string_view s) {
    static constexpr char kDigits[] = "0123456789abcdef";
    out += '"';
    for (char c : s) {
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
                if (static_cast<unsigned char>(c) < 0x20) {
                    out += "\\u00";
                    out += kDigits[c >> 4];
                    out += kDigits[c & 15];
                } else {
                    out += c;
                }
        }
    }
    out += '"';
}

// Names and messages are bytes; JSON strings must be UTF-8.
void put_bytes(std::string& out, const std::string& s) {
    if (is_utf8(s)) return put_string(out, s);
    out += "{\"hex\":\"";
    out += hex(reinterpret_cast<const unsigned char*>(s.data()), s.size());
    out += "\"}";
}

void put_identity(std::string& out, const Identity& id) {
    out += '[';
    out += std::to_string(id.device) + ',' + std::to_string(id.inode) + ',' +
           std::to_string(id.size) + ',' + std::to_string(id.mtime_ns);
    out += ']';
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
    out += ",\"target_id\":";
    put_identity(out, f.target_id);
    out += ",\"findings\":[";
    for (std::size_t i = 0; i < f.findings.size(); ++i) {
        const Finding& d = f.findings[i];
        out += i ? ",{\"code\":" : "{\"code\":";
        put_string(out, code_name(d.code));
        out += ",\"line\":";
        out += d.line ? std::to_string(*d.line) : "null";
        out += ",\"message\":";
        put_bytes(out, d.message);
        out += '}';
    }
    out += "]}";
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
    for (const json& d : j.at("findings")) {
        Finding finding = Finding::at(code_from(d.at("code")), std::nullopt, {});
        if (!d.at("line").is_null()) finding.line = d.at("line").get<int>();
        finding.message = bytes_from_json(d.at("message"));
        f.findings.push_back(std::move(finding));
    }
    return {bytes_from_json(j.at("target")), std::move(f)};
}

Error journal_error(const Error& e) {
    return Error("cannot write the record's journal", e.path(), e.errnum());
}

}  // namespace

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
    const std::string lock = path + ".lock";
    lock_fd_ = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock_fd_ < 0) return Error("cannot open " + lock, lock, errno);
    if (::flock(lock_fd_, LOCK_EX | LOCK_NB) != 0) {
        return errno == EWOULDBLOCK
                   ? Error::because("another tvconv-tree run is writing this target now", lock)
                   : Error("cannot lock " + lock, lock, errno);
    }
    // A run killed while saving leaves its temporary copy of the record
    // (PATH.XXXXXX); now that the lock is held, none is in use.
    (void)remove_leftovers(dir.empty() ? "." : dir.string(), base_name(path) + ".");

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
    } catch (const std::exception& ex) {
        return Error::because(
            path_ + ": not a readable record (" + ex.what() + "); remove it to start afresh",
            path_);
    }
    return {};
}

// Files written by a run that did not finish: each journal line claims one;
// a line cut off by the end of that run claims nothing, and the lines a
// later run appended after it still count.
void Record::replay(const std::string& journal) {
    std::size_t start = 0;
    while (start < journal.size()) {
        std::size_t end = journal.find('\n', start);
        if (end == std::string::npos) end = journal.size();
        try {
            auto [target_path, file] = file_from(json::parse(
                journal.begin() + std::ptrdiff_t(start), journal.begin() + std::ptrdiff_t(end)));
            files_.insert_or_assign(target_path, std::move(file));
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
    auto it = files_.find(target_path);
    return it == files_.end() ? nullptr : &it->second;
}

Error Record::claim(const std::string& target_path, const FileRecord& file) {
    std::string line;
    put_file(line, target_path, file);
    line += '\n';
    bool due;
    {
        std::lock_guard lock(mutex_);
        files_.insert_or_assign(target_path, file);
        changed_ = true;
        batch_ += line;
        auto now = std::chrono::steady_clock::now();
        if (batch_files_++ == 0) batch_started_ = now;
        due = batch_files_ >= batching_.files || now - batch_started_ >= batching_.interval;
    }
    return due ? flush() : Error();
}

void Record::forget(const std::string& target_path) {
    std::lock_guard lock(mutex_);
    if (files_.erase(target_path)) changed_ = true;
}

Error Record::sync_target() {
    Error e = batching_.sync ? batching_.sync() : sync_file_system(target_);
    return e ? Error("cannot sync the target directory", e.path(), e.errnum()) : e;
}

// Journals the batch, after making the files it claims durable.
Error Record::flush() {
    std::lock_guard flushing(flush_mutex_);
    std::string lines;
    {
        std::lock_guard lock(mutex_);
        lines.swap(batch_);
        batch_files_ = 0;
    }
    if (lines.empty()) return {};
    if (Error e = sync_target()) return e;
    return append_to_journal(std::move(lines));
}

Error Record::append_to_journal(std::string lines) {
    const std::string journal = path_ + ".journal";
    if (journal_fd_ < 0) {
        journal_fd_ = ::open(journal.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        if (journal_fd_ < 0) return Error("cannot write the record's journal", journal, errno);
        // A killed run may have left its last line unfinished: this batch
        // must not run into it.
        struct stat st;
        char last;
        if (::fstat(journal_fd_, &st) == 0 && st.st_size > 0 &&
            ::pread(journal_fd_, &last, 1, st.st_size - 1) == 1 && last != '\n')
            lines.insert(0, "\n");
    }
    if (Error e = write_all(journal_fd_, lines, journal)) return journal_error(e);
    if (::fdatasync(journal_fd_) != 0)
        return Error("cannot write the record's journal", journal, errno);
    return {};
}

Error Record::save() {
    std::lock_guard flushing(flush_mutex_);
    std::lock_guard lock(mutex_);
    if (Error e = sync_target()) return e;
    // The journal first: a run killed while writing the record still
    // leaves every claim behind it.
    Error journalled;
    if (!batch_.empty()) journalled = append_to_journal(std::move(batch_));
    batch_.clear();
    batch_files_ = 0;

    std::string data = "{\"format_version\":" + std::to_string(kFormatVersion) +
                       ",\"tool\":\"tvconv-tree " TVCONV_VERSION "\",\"source\":";
    put_bytes(data, source_);
    data += ",\"target\":";
    put_bytes(data, target_);
    data += ",\"files\":[";
    const char* separator = "\n";
    for (const auto& [target, f] : files_) {
        data += separator;
        put_file(data, target, f);
        separator = ",\n";
    }
    data += "]}\n";
    if (Error e =
            atomic_write(path_, data, 0600, kNoSlot, Durability::kSync, base_name(path_) + "."))
        return Error("cannot write the record " + path_, path_, e.errnum());
    // The record now holds all the journal said.
    if (journal_fd_ >= 0) {
        ::close(journal_fd_);
        journal_fd_ = -1;
    }
    (void)::unlink((path_ + ".journal").c_str());
    changed_ = false;
    return journalled;
}

Record::~Record() {
    if (journal_fd_ >= 0) ::close(journal_fd_);
    if (lock_fd_ >= 0) ::close(lock_fd_);
}

}  // namespace tvconv::tree
