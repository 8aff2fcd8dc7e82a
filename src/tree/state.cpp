#include "tree/state.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "tree/names.h"

namespace tvconv::tree {

using json = nlohmann::ordered_json;

namespace {

constexpr int kFormatVersion = 1;

std::string hex(const unsigned char* bytes, std::size_t n) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string s;
    for (std::size_t i = 0; i < n; ++i) {
        s += kDigits[bytes[i] >> 4];
        s += kDigits[bytes[i] & 15];
    }
    return s;
}

std::string unhex(const std::string& s) {
    std::string out;
    auto digit = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
    for (std::size_t i = 0; i + 1 < s.size(); i += 2)
        out += static_cast<char>(digit(s[i]) * 16 + digit(s[i + 1]));
    return out;
}

// Names and messages are bytes; JSON strings must be UTF-8.
json bytes_to_json(const std::string& s) {
    if (is_utf8(s)) return s;
    return json{{"hex", hex(reinterpret_cast<const unsigned char*>(s.data()), s.size())}};
}

std::string bytes_from_json(const json& j) {
    if (j.is_object()) return unhex(j.at("hex").get<std::string>());
    return j.get<std::string>();
}

json identity_json(const Identity& id) {
    return json::array({id.device, id.inode, id.size, id.mtime_ns});
}

Identity identity_from(const json& j) {
    return Identity{j.at(0).get<std::uint64_t>(), j.at(1).get<std::uint64_t>(),
                    j.at(2).get<std::uint64_t>(), j.at(3).get<std::int64_t>()};
}

json file_json(const std::string& target, const FileRecord& f) {
    json findings = json::array();
    for (const Finding& d : f.findings) {
        findings.push_back(json{{"code", d.code},
                                {"line", d.line ? json(*d.line) : json(nullptr)},
                                {"message", bytes_to_json(d.message)}});
    }
    return json{{"target", bytes_to_json(target)},
                {"source", bytes_to_json(f.source)},
                {"source_id", identity_json(f.source_id)},
                {"source_hash", f.source_hash},
                {"inputs", f.inputs},
                {"written_hash", f.written_hash},
                {"target_id", identity_json(f.target_id)},
                {"findings", findings}};
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
        Finding finding;
        finding.code = d.at("code").get<std::string>();
        if (!d.at("line").is_null()) finding.line = d.at("line").get<int>();
        finding.message = bytes_from_json(d.at("message"));
        f.findings.push_back(std::move(finding));
    }
    return {bytes_from_json(j.at("target")), std::move(f)};
}

std::string error_text(const std::string& what, int error) {
    return what + ": " + std::strerror(error);
}

std::string write_all(int fd, const std::string& data) {
    const char* p = data.data();
    std::size_t left = data.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::strerror(errno);
        p += n;
        left -= std::size_t(n);
    }
    return {};
}

}  // namespace

Identity identity_of(const struct stat& st) {
    return Identity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
                    static_cast<std::uint64_t>(st.st_size),
                    static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

std::string content_hash(std::string_view bytes) {
    XXH128_hash_t h = XXH3_128bits(bytes.data(), bytes.size());
    XXH128_canonical_t c;
    XXH128_canonicalFromHash(&c, h);
    return hex(c.digest, sizeof c.digest);
}

std::string Record::default_path(const std::string& target, std::string& error) {
    std::string base;
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && xdg[0] == '/') {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home && home[0] == '/') {
        base = std::string(home) + "/.cache";
    } else {
        error = "no cache directory (neither XDG_CACHE_HOME nor HOME is set): name one with --state";
        return {};
    }
    XXH64_hash_t h = XXH3_64bits(target.data(), target.size());
    XXH64_canonical_t c;
    XXH64_canonicalFromHash(&c, h);
    return base + "/tvconv/records/" + hex(c.digest, sizeof c.digest) + ".json";
}

std::string Record::open(const std::string& path, const std::string& source,
                         const std::string& target) {
    path_ = path;
    source_ = source;
    target_ = target;
    std::error_code ec;
    std::filesystem::path dir = std::filesystem::path(path).parent_path();
    if (!dir.empty()) {
        std::filesystem::create_directories(dir, ec);
        if (ec) return "cannot create " + dir.string() + ": " + ec.message();
    }
    lock_fd_ = ::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock_fd_ < 0) return error_text("cannot open " + path + ".lock", errno);
    if (::flock(lock_fd_, LOCK_EX | LOCK_NB) != 0) {
        return errno == EWOULDBLOCK ? "another tvconv-tree run is writing this target now"
                                    : error_text("cannot lock " + path + ".lock", errno);
    }

    struct stat st;
    if (::stat(path.c_str(), &st) != 0 && errno != ENOENT)
        return error_text("cannot read " + path, errno);
    std::ifstream in(path, std::ios::binary);
    if (in) {
        try {
            json j = json::parse(in);
            if (j.at("format_version").get<int>() != kFormatVersion)
                return path + ": a record of another format; remove it to start afresh";
            for (const json& f : j.at("files")) files_.insert(file_from(f));
        } catch (const json::exception& ex) {
            return path + ": not a readable record (" + ex.what() +
                   "); remove it to start afresh";
        }
    }
    // Files written by a run that did not finish: each journal line claims
    // one; a line cut off by the end of that run claims nothing, and the
    // lines a later run appended after it still count.
    std::ifstream journal(path + ".journal", std::ios::binary);
    for (std::string line; std::getline(journal, line);) {
        try {
            auto [target_path, file] = file_from(json::parse(line));
            files_.insert_or_assign(target_path, std::move(file));
            changed_ = true;
        } catch (const json::exception&) {
            continue;
        }
    }
    return {};
}

const FileRecord* Record::find(const std::string& target_path) const {
    auto it = files_.find(target_path);
    return it == files_.end() ? nullptr : &it->second;
}

std::string Record::claim(const std::string& target_path, const FileRecord& file) {
    std::lock_guard lock(mutex_);
    files_.insert_or_assign(target_path, file);
    changed_ = true;
    std::string line = file_json(target_path, file).dump() + "\n";
    if (journal_fd_ < 0) {
        journal_fd_ = ::open((path_ + ".journal").c_str(),
                             O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        if (journal_fd_ < 0) return error_text("cannot write the record's journal", errno);
        // A killed run may have left its last line unfinished: this one
        // must not run into it.
        struct stat st;
        char last;
        if (::fstat(journal_fd_, &st) == 0 && st.st_size > 0 &&
            ::pread(journal_fd_, &last, 1, st.st_size - 1) == 1 && last != '\n')
            line.insert(0, "\n");
    }
    std::string problem = write_all(journal_fd_, line);
    return problem.empty() ? "" : "cannot write the record's journal: " + problem;
}

void Record::forget(const std::string& target_path) {
    std::lock_guard lock(mutex_);
    if (files_.erase(target_path)) changed_ = true;
}

std::string Record::save() {
    std::lock_guard lock(mutex_);
    json files = json::array();
    for (const auto& [target, f] : files_) files.push_back(file_json(target, f));
    json j{{"format_version", kFormatVersion},
           {"tool", "tvconv-tree " TVCONV_VERSION},
           {"source", bytes_to_json(source_)},
           {"target", bytes_to_json(target_)},
           {"files", files}};
    std::string data = j.dump(1) + "\n";

    std::string temp = path_ + ".XXXXXX";
    int fd = ::mkstemp(temp.data());
    if (fd < 0) return error_text("cannot write the record " + path_, errno);
    std::string problem = write_all(fd, data);
    if (problem.empty() && ::fsync(fd) != 0) problem = std::strerror(errno);
    if (::close(fd) != 0 && problem.empty()) problem = std::strerror(errno);
    if (problem.empty() && ::rename(temp.c_str(), path_.c_str()) != 0)
        problem = std::strerror(errno);
    if (!problem.empty()) {
        ::unlink(temp.c_str());
        return "cannot write the record " + path_ + ": " + problem;
    }
    // The record now holds all the journal said.
    if (journal_fd_ >= 0) {
        ::close(journal_fd_);
        journal_fd_ = -1;
    }
    ::unlink((path_ + ".journal").c_str());
    changed_ = false;
    return {};
}

Record::~Record() {
    if (journal_fd_ >= 0) ::close(journal_fd_);
    if (lock_fd_ >= 0) ::close(lock_fd_);
}

}  // namespace tvconv::tree
