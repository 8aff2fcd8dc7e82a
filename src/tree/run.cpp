#include "tree/run.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <vector>

#include "core/convert.h"
#include "tree/diff.h"
#include "tree/encoding.h"
#include "tree/html.h"
#include "tree/io.h"
#include "tree/json_report.h"
#include "tree/model.h"
#include "tree/names.h"
#include "tree/output.h"
#include "tree/paths.h"
#include "tree/record.h"
#include "tree/sarif.h"
#include "tree/signals.h"
#include "tree/terminal.h"
#include "tree/walk.h"

namespace tvconv::tree {

namespace {

// The content hash of the file at `path`, or empty when it cannot be read.
std::string hash_of_file(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    std::string hash;
    Error error = content_hash_of(fd, hash);
    ::close(fd);
    return error ? std::string() : hash;
}

std::vector<Finding> findings_of(const std::vector<EncodingWarning>& encoding,
                                 const std::vector<Diagnostic>& diagnostics) {
    std::vector<Finding> out;
    for (const EncodingWarning& w : encoding) out.push_back({w.code, w.line, w.message});
    for (const Diagnostic& d : diagnostics)
        out.push_back({std::string(code_name(d.code)), d.line, d.message_without_line()});
    return out;
}

FileStatus converted_status(const std::vector<Finding>& findings) {
    for (const Finding& f : findings)
        if (severity_of(f) != Severity::note) return FileStatus::kManual;
    return FileStatus::kConverted;
}

class Runner {
  public:
    Runner(const Options& options, std::string source_root, std::string target_root,
           std::vector<Entry> entries, Record* record, TargetWriter& writer, std::FILE* report,
           bool progress)
        : options_(options),
          source_(std::move(source_root)),
          target_(std::move(target_root)),
          entries_(std::move(entries)),
          results_(entries_.size()),
          finished_(entries_.size(), 0),
          record_(record),
          writer_(writer),
          report_(report),
          progress_(progress) {
        // The macro files this run renames, by their source names: a
        // ^macro_use that names one is rewritten to its new name.
        std::string renamed;
        for (const Entry& e : entries_) {
            if (e.kind != Kind::kTemplate || !e.problem.empty()) continue;
            std::string name = base_name(e.path);
            if (converted_name(name) != name) renamed_.insert(name);
        }
        for (const std::string& name : renamed_) renamed += name + '\0';
        // What a conversion depends on beyond its own source.
        using namespace std::string_literals;
        template_inputs_ = content_hash("template\0"s + TVCONV_VERSION + "\0"s +
                                        (options_.keep_references ? "keep\0"s : "rewrite\0"s) +
                                        (options_.keep_references ? ""s : renamed));
        copy_inputs_ = content_hash("copy");
    }

    int run(unsigned jobs) {
        // Directories first, in walk order, so that workers only write files;
        // whatever lies in a directory that could not be made fails with it,
        // reported once, by the directory.
        std::vector<std::size_t> work;
        std::map<std::string, std::size_t> failed_dirs;  // target dir -> failed top directory
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            const Entry& e = entries_[i];
            auto in_failed = failed_dirs.find(parent(e.target));
            // A file that --no-copy leaves out loses nothing with its
            // directory: it is not copied, as anywhere else.
            const bool written = e.kind != Kind::kSkipped && e.kind != Kind::kExcluded &&
                                 (e.kind != Kind::kFile || options_.copy);
            if (in_failed != failed_dirs.end() && written) {
                results_[i] = failed("its directory could not be created");
                results_[i].quiet = true;
                if (e.kind == Kind::kDirectory)
                    failed_dirs[e.target] = in_failed->second;
                else
                    ++results_[in_failed->second].files_lost;
                finished_[i] = 1;
            } else if (e.kind == Kind::kDirectory) {
                directory(i);
                if (results_[i].status == FileStatus::kFailed && e.problem.empty())
                    failed_dirs[e.target] = i;
                finished_[i] = 1;
            } else {
                work.push_back(i);
            }
        }
        total_ = work.size();
        jobs = std::max(1u, std::min<unsigned>(jobs, unsigned(work.size())));
        install_cleanup(jobs);

        std::atomic<std::size_t> next{0};
        std::vector<std::thread> workers;
        for (unsigned slot = 0; slot < jobs; ++slot) {
            workers.emplace_back([&, slot] {
                for (std::size_t k; !interrupted() && (k = next.fetch_add(1)) < work.size();)
                    process(work[k], slot);
                std::lock_guard lock(mutex_);
                ++workers_done_;
                changed_.notify_one();
            });
        }
        report_in_order(jobs);
        for (std::thread& t : workers) t.join();
        interrupted_ = interrupted();
        return 0;
    }

    const std::vector<Entry>& entries() const { return entries_; }
    const std::vector<FileOutcome>& results() const { return results_; }
    const std::vector<char>& finished() const { return finished_; }
    bool was_interrupted() const { return interrupted_; }

    // Targets the record holds that this run did not produce: their sources
    // are gone (or no longer converted). Listed, never deleted; a record
    // entry whose target is gone too is forgotten.
    std::vector<Stale> stale_targets() {
        std::vector<Stale> stale;
        if (!record_) return stale;
        std::set<std::string> produced;
        for (const Entry& e : entries_)
            if (e.kind == Kind::kTemplate || e.kind == Kind::kFile) produced.insert(e.target);
        std::vector<std::string> gone;
        for (const auto& [target, file] : record_->files()) {
            if (produced.count(target)) continue;
            struct stat st;
            if (::lstat(join(target_, target).c_str(), &st) == 0)
                stale.push_back(
                    {target, file.source, ::lstat(join(source_, file.source).c_str(), &st) == 0});
            else
                gone.push_back(target);
        }
        for (const std::string& target : gone) record_->forget(target);
        return stale;
    }

  private:
    void directory(std::size_t i) {
        const Entry& e = entries_[i];
        FileOutcome& r = results_[i];
        r.status = FileStatus::kDone;
        if (!e.problem.empty()) {
            r.status = FileStatus::kFailed;
            r.reason = e.problem;
        } else if (!options_.check) {
            if (Error problem = writer_.make_directory(join(target_, e.target))) {
                r.status = FileStatus::kFailed;
                r.reason = problem.message();
            }
        }
    }

    void process(std::size_t i, unsigned slot) {
        {
            std::lock_guard lock(mutex_);
            current_ = entries_[i].path;
        }
        FileOutcome r;
        try {
            r = process_entry(entries_[i], slot);
        } catch (const std::exception& ex) {
            r = failed(ex.what());
        }
        std::lock_guard lock(mutex_);
        results_[i] = std::move(r);
        finished_[i] = 1;
        ++done_;
        changed_.notify_one();
    }

    FileOutcome process_entry(const Entry& e, unsigned slot) {
        if (e.kind == Kind::kSkipped) return with(FileStatus::kSkipped, e.problem);
        if (e.kind == Kind::kExcluded) return with(FileStatus::kExcluded, e.problem);
        if (!e.problem.empty()) return failed(e.problem);
        if (e.kind == Kind::kFile && !options_.copy) return with(FileStatus::kNotCopied, "");

        const bool is_template = e.kind == Kind::kTemplate;
        const std::string source = join(source_, e.path), target = join(target_, e.target);
        int fd = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return failed(std::string("cannot read: ") + std::strerror(errno));
        struct stat st;
        if (::fstat(fd, &st) != 0) {
            int error = errno;
            ::close(fd);
            return failed(std::string("cannot read: ") + std::strerror(error));
        }
        const Identity source_id = identity_of(st);
        const std::string& inputs = is_template ? template_inputs_ : copy_inputs_;

        if (!options_.check) {
            if (Error problem = writer_.refuse(target)) {
                ::close(fd);
                return failed(problem.message());
            }
        }
        // Nothing changed since the last run, on either side: not even read.
        const FileRecord* known = record_ ? record_->find(e.target) : nullptr;
        struct stat tst;
        const bool target_exists = !options_.check && ::lstat(target.c_str(), &tst) == 0;
        const Identity target_id = target_exists ? identity_of(tst) : Identity{};
        if (known && known->source == e.path && known->source_id == source_id &&
            known->inputs == inputs && target_exists && known->target_id == target_id) {
            FileOutcome unchanged =
                with(is_template ? converted_status(known->findings) : FileStatus::kCopied, "");
            unchanged.action = Action::kUnchanged;
            unchanged.findings = known->findings;
            if (!options_.html.empty() && wants_excerpt(unchanged.findings)) {
                std::string bytes;
                if (!read_all(fd, bytes))
                    unchanged.excerpt = excerpt_of(bytes, unchanged.findings);
            }
            ::close(fd);
            return unchanged;
        }

        // A template is read whole to be converted; a file to copy, which may
        // be large, only streams through its hash.
        std::string bytes, source_hash;
        Error read_error;
        if (is_template)
            read_error = read_all(fd, bytes);
        else if (!options_.check)
            read_error = content_hash_of(fd, source_hash);
        ::close(fd);
        if (read_error) return failed(read_error.message());

        FileOutcome r;
        std::string output;
        if (is_template) {
            ConvertOptions convert_options;
            if (!options_.keep_references) {
                convert_options.renamed_macro_file =
                    [this](std::string_view name) -> std::optional<std::string> {
                    if (!renamed_.count(std::string(name))) return std::nullopt;
                    return converted_name(name);
                };
            }
            tvconv::Result converted = convert(std::string_view(bytes), convert_options);
            r.findings = findings_of(encoding_warnings(bytes), converted.diagnostics);
            if (!options_.html.empty() && wants_excerpt(r.findings))
                r.excerpt = excerpt_of(bytes, r.findings);
            switch (converted.status) {
                case tvconv::Status::accepted:
                    r.status = converted_status(r.findings);
                    break;
                case tvconv::Status::syntax_error:
                    r.reason = "syntax error";
                    return r;
                case tvconv::Status::stack_overflow:
                    r.reason = "nested too deeply (parser stack overflow)";
                    return r;
                case tvconv::Status::scanner_fatal:
                    r.reason = "cannot read: " + converted.diagnostics.back().message;
                    return r;
                case tvconv::Status::out_of_memory:
                    r.reason = "out of memory";
                    return r;
            }
            output = converted.output.str();
            if (options_.diff) r.diff = unified_diff(bytes, output, e.path, e.target);
        } else {
            r.status = FileStatus::kCopied;
        }
        if (options_.check) return r;

        if (is_template) source_hash = content_hash(bytes);
        const std::string written_hash = is_template ? content_hash(output) : source_hash;
        FileRecord file{e.path, source_id, source_hash, inputs, written_hash, {}, r.findings};

        // A file already at the target is overwritten only when it still
        // holds what this tool wrote there. One that holds this very
        // conversion is recorded whatever the record said: a run killed
        // after replacing it but before journalling it leaves it so.
        if (target_exists) {
            std::string held =
                known && known->target_id == target_id ? known->written_hash : hash_of_file(target);
            bool ours = known && held == known->written_hash;
            if (held == written_hash) {
                file.target_id = target_id;
                if (Error problem = record_->claim(e.target, file))
                    return failed(problem.message());
                r.action = known && known->source_id == source_id && known->inputs == inputs
                               ? Action::kUnchanged
                               : Action::kRecorded;
                return r;
            }
            if (!ours && !options_.force) {
                FileOutcome kept = with(FileStatus::kEdited,
                                        known ? "edited by hand since the last run; not overwritten"
                                              : "differs from its conversion and no record of an "
                                                "earlier run covers it; not overwritten");
                kept.action = Action::kKept;
                return kept;
            }
        }
        if (is_template) {
            if (Error problem = writer_.write_file(target, output, e.mode, slot))
                return failed(problem.message());
        } else {
            // What was copied is what is recorded, even if the source
            // changed since it was hashed above.
            std::string copied;
            if (Error problem = writer_.copy_file(source, target, e.mode, slot, copied))
                return failed(problem.message());
            file.source_hash = file.written_hash = copied;
        }
        struct stat written;
        if (::lstat(target.c_str(), &written) != 0)
            return failed(std::string("cannot write: ") + std::strerror(errno));
        file.target_id = identity_of(written);
        r.action = Action::kWritten;
        if (Error problem = record_->claim(e.target, file)) {
            // Written, but not recorded: the next run finds it equal to its
            // conversion and records it then.
            r.status = FileStatus::kFailed;
            r.reason = problem.message();
        }
        return r;
    }

    static FileOutcome with(FileStatus status, std::string reason) {
        FileOutcome r;
        r.status = status;
        r.reason = std::move(reason);
        return r;
    }
    static FileOutcome failed(std::string reason) {
        return with(FileStatus::kFailed, std::move(reason));
    }

    // Writes each entry's lines as soon as it and every entry before it are
    // finished, so the report does not depend on the number of jobs. After
    // an interruption, the finished entries beyond the first unfinished one
    // are written at the end.
    void report_in_order(unsigned jobs) {
        using Clock = std::chrono::steady_clock;
        Clock::time_point drawn{};
        std::size_t next = 0;
        std::unique_lock lock(mutex_);
        while (true) {
            std::string text;
            std::string diffs;
            auto emit = [&](std::size_t i) {
                text += entry_lines(entries_[i], results_[i]);
                diffs += results_[i].diff;
                std::string().swap(results_[i].diff);
            };
            while (next < entries_.size() && finished_[next]) emit(next++);
            bool all = next == entries_.size() || workers_done_ == jobs;
            if (all) {
                for (std::size_t i = next; i < entries_.size(); ++i)
                    if (finished_[i]) emit(i);
            }
            std::size_t done = done_;
            std::string current = current_;
            lock.unlock();
            if (!diffs.empty()) std::fwrite(diffs.data(), 1, diffs.size(), stdout);
            if (progress_ && !text.empty()) std::fputs("\r\033[K", report_);
            std::fputs(text.c_str(), report_);
            if (progress_) {
                Clock::time_point now = Clock::now();
                if (all) {
                    std::fputs("\r\033[K", report_);
                } else if (!text.empty() || now - drawn > std::chrono::milliseconds(100)) {
                    std::fputs(("\r\033[K" + progress_line(done, total_, current, width())).c_str(),
                               report_);
                    drawn = now;
                }
            }
            std::fflush(report_);
            if (all) return;
            lock.lock();
            changed_.wait_for(lock, std::chrono::milliseconds(100));
        }
    }

    std::size_t width() const {
        struct winsize ws;
        if (::ioctl(::fileno(report_), TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
        return 80;
    }

    const Options& options_;
    const std::string source_, target_;
    std::vector<Entry> entries_;
    std::vector<FileOutcome> results_;
    std::vector<char> finished_;
    Record* record_;
    TargetWriter& writer_;
    std::FILE* report_;
    bool progress_;
    std::size_t total_ = 0;
    std::set<std::string> renamed_;
    std::string template_inputs_, copy_inputs_;
    bool interrupted_ = false;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t done_ = 0;
    unsigned workers_done_ = 0;
    std::string current_;
};

int usage_error(std::FILE* report, const std::string& message) {
    std::fprintf(report, "tvconv-tree: %s\n", message.c_str());
    return 2;
}

std::string resolved(const std::string& path) {
    std::error_code ec;
    std::filesystem::path p =
        std::filesystem::weakly_canonical(std::filesystem::absolute(path), ec);
    return ec ? std::string() : p.string();
}

// Why a report could not be written to `path`, checked before anything is
// converted; empty when it can be.
std::string unwritable(const std::string& path) {
    if (path == "-") return {};
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return std::strerror(EISDIR);
        return ::access(path.c_str(), W_OK) == 0 ? "" : std::strerror(errno);
    }
    if (errno != ENOENT) return std::strerror(errno);
    std::string dir = std::filesystem::path(path).parent_path().string();
    if (dir.empty()) dir = ".";
    if (::stat(dir.c_str(), &st) != 0) return std::strerror(errno);
    if (!S_ISDIR(st.st_mode)) return std::strerror(ENOTDIR);
    return ::access(dir.c_str(), W_OK | X_OK) == 0 ? "" : std::strerror(errno);
}

std::string shown_name(const std::string& path) {
    return path == "-" ? "standard output" : printable(path);
}

}  // namespace

std::string progress_line(std::size_t done, std::size_t total, const std::string& current,
                          std::size_t width) {
    constexpr std::size_t kBar = 20;
    std::size_t filled = total ? done * kBar / total : kBar;
    std::string line(1, '[');
    line.append(filled, '#');
    line.append(kBar - filled, '.');
    line += "] ";
    line += std::to_string(done);
    line += '/';
    line += std::to_string(total);
    std::string name = printable(current);
    // Keep the end of a long path: the file name matters most. One column is
    // left free so that the cursor never wraps to a new line.
    if (width > line.size() + 2) {
        std::size_t room = width - line.size() - 2;
        if (name.size() > room)
            name = room > 3 ? "..." + name.substr(name.size() - (room - 3)) : "";
        if (!name.empty()) line += " " + name;
    }
    if (line.size() >= width) line.resize(width ? width - 1 : 0);
    return line;
}

int run(const Options& options, std::FILE* report, bool progress) {
    const std::string source_name = printable(options.source);
    const std::string target_name = printable(options.target);
    std::string source = resolved(options.source);
    struct stat st;
    if (source.empty()) return usage_error(report, source_name + ": cannot resolve the name");
    if (::stat(source.c_str(), &st) != 0)
        return usage_error(report, source_name + ": " + std::strerror(errno));
    if (!S_ISDIR(st.st_mode)) return usage_error(report, source_name + ": not a directory");

    std::string target;
    if (!options.target.empty()) {
        target = resolved(options.target);
        if (target.empty()) return usage_error(report, target_name + ": cannot resolve the name");
        if (is_within(target, source))
            return usage_error(report, "the target directory " + target_name +
                                           " is the source directory or lies inside it");
        if (::stat(target.c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
            return usage_error(report, target_name + ": not a directory");
    }
    for (const std::string* file : {&options.report, &options.html, &options.sarif}) {
        if (file->empty()) continue;
        if (*file != "-" && is_within(resolved(*file), source))
            return usage_error(report, "the report file " + printable(*file) +
                                           " lies inside the source directory");
        if (std::string why = unwritable(*file); !why.empty())
            return usage_error(report, printable(*file) + ": cannot write the report: " + why);
    }

    // The record of earlier runs, outside both trees.
    Record record;
    if (!options.check) {
        Error problem;
        std::string path;
        if (options.state.empty())
            problem = Record::default_path(target, path);
        else
            path = resolved(options.state);
        if (path.empty())
            return usage_error(report,
                               problem ? problem.message()
                                       : printable(options.state) + ": cannot resolve the name");
        if (is_within(path, source) || is_within(path, target))
            return usage_error(report, "the record " + printable(path) +
                                           " would lie inside the source or target directory");
        if (!options.state.empty()) {
            if (std::string why = unwritable(path); !why.empty())
                return usage_error(report, printable(path) + ": cannot write the record: " + why);
        }
        std::error_code ec;
        std::filesystem::create_directories(target, ec);
        if (ec) {
            std::fprintf(report, "tvconv-tree: %s: %s\n", target_name.c_str(),
                         ec.message().c_str());
            return 1;
        }
        // Resolved again: the target exists now, and its real path keys the record.
        target = resolved(options.target);
        if (options.state.empty()) problem = Record::default_path(target, path);
        if (Error problem = record.open(path, source, target)) {
            std::fprintf(report, "tvconv-tree: %s\n", printable(problem.message()).c_str());
            return 1;
        }
    }

    std::vector<Entry> entries;
    if (Error problem = walk(source, options, entries)) {
        std::fprintf(report, "tvconv-tree: %s: %s\n", source_name.c_str(),
                     problem.message().c_str());
        return 1;
    }
    TargetWriter writer(source);

    if (!options.check) {
        // Temporary files of a run that was killed while writing.
        std::size_t leftovers = remove_leftovers(target);
        for (const Entry& e : entries)
            if (e.kind == Kind::kDirectory) leftovers += remove_leftovers(join(target, e.target));
        if (leftovers)
            std::fprintf(report,
                         "tvconv-tree: removed %zu temporary %s left by an interrupted run\n",
                         leftovers, leftovers == 1 ? "file" : "files");
    }

    unsigned jobs = options.jobs ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
    Runner runner(options, source, target, std::move(entries), options.check ? nullptr : &record,
                  writer, report, progress);
    runner.run(jobs);
    std::vector<Stale> stale = runner.stale_targets();

    ReportModel model(options, runner.entries(), runner.results(), runner.finished(),
                      std::move(stale), runner.was_interrupted());
    int status = model.exit_status();
    std::fputs(summary_text(model).c_str(), report);

    // The record, before the report: it is what the next run relies on.
    if (!options.check && record.changed()) {
        if (Error problem = record.save()) {
            std::fprintf(report, "tvconv-tree: %s\n", printable(problem.message()).c_str());
            if (status != 130) status = 1;
        }
    }
    if (options.diff && (std::fflush(stdout) != 0 || std::ferror(stdout))) {
        std::fprintf(report, "tvconv-tree: standard output: %s\n", std::strerror(errno));
        if (status != 130) status = 1;
    }
    // Every report is a view of the same model; a report that cannot be
    // written fails the run, and the others are still written.
    const int reported = status;
    const std::pair<const std::string*, std::function<std::string()>> reports[] = {
        {&options.report, [&] { return json_report(model, reported); }},
        {&options.html, [&] { return html_report(model, reported); }},
        {&options.sarif, [&] { return sarif_report(model, source); }},
    };
    for (const auto& [file, make] : reports) {
        if (file->empty()) continue;
        if (Error problem = write_output(*file, make())) {
            std::fprintf(report, "tvconv-tree: %s: %s\n", shown_name(*file).c_str(),
                         problem.message().c_str());
            if (status != 130) status = 1;
        }
    }
    return status;
}

}  // namespace tvconv::tree
