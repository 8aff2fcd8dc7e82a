#include "tree/run.h"

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "tree/converter.h"
#include "tree/diff.h"
#include "tree/html.h"
#include "tree/io.h"
#include "tree/json_report.h"
#include "tree/model.h"
#include "tree/names.h"
#include "tree/paths.h"
#include "tree/plan.h"
#include "tree/record.h"
#include "tree/sarif.h"
#include "tree/signals.h"
#include "tree/terminal.h"
#include "tree/walk.h"
#include "tree/writer.h"

namespace tvconv::tree {

namespace {

// One entry through the pipeline: plan, read, convert, commit. Called from
// the worker threads; what it shares is read-only, or the writer's.
class Pipeline {
  public:
    Pipeline(const Options& options, const std::string& source_root,
             const std::vector<Entry>& entries, Writer& writer)
        : options_(options),
          converter_(options, entries),
          context_{source_root, options.copy, options.force, converter_.template_inputs(),
                   converter_.copy_inputs()},
          writer_(writer) {}

    FileOutcome process(const Entry& e, unsigned slot) const {
        try {
            return steps(e, slot);
        } catch (const std::exception& ex) {
            return failed_outcome(ex.what());
        }
    }

  private:
    FileOutcome steps(const Entry& e, unsigned slot) const {
        Plan plan = plan_entry(e, context_, writer_);
        switch (plan.step) {
            case Step::kFinal:
                return std::move(plan.outcome);
            case Step::kUnchanged:
                return unchanged(e, plan);
            case Step::kCopy: {
                FileOutcome r = outcome_with(FileStatus::kCopied, "");
                writer_.commit_copy(e, plan, r, slot);
                if (options_.diff) copy_diff(e, plan, r);
                return r;
            }
            case Step::kConvert:
                break;
        }
        std::string bytes;
        if (Error error = read_all(plan.source.fd(), bytes)) return failed_outcome(error.message());
        plan.source.reset();
        Converted c = converter_(e, bytes);
        if (c.outcome.status != FileStatus::kFailed)
            writer_.commit_template(e, plan, bytes, c.output, c.outcome, slot);
        if (options_.diff && c.outcome.status != FileStatus::kFailed) {
            c.outcome.diff = git_diff(
                bytes, c.outcome.merge_text ? *c.outcome.merge_text : c.output, diff_file(e));
            c.outcome.merge_text.reset();
        }
        return std::move(c.outcome);
    }

    // What --diff applies to a copy of SOURCE: a link there is replaced by
    // the file that the run writes in its place.
    DiffFile diff_file(const Entry& e) const {
        return {e.path, e.target, link_text(join(context_.source_root, e.path)), e.mode};
    }

    // A copied file needs a diff only where it is a link in SOURCE: patched
    // in place, it would show the conversion of whatever it leads to.
    void copy_diff(const Entry& e, const Plan& plan, FileOutcome& r) const {
        DiffFile file = diff_file(e);
        if (!file.link) return;
        std::string bytes;
        if (Error error = read_all(plan.source.fd(), bytes)) {
            r = failed_outcome(error.message());
            return;
        }
        r.diff = git_diff({}, bytes, file);
    }

    // Neither side changed since the last run: the source is not even read,
    // unless the HTML page shows lines of it (and of the target, which still
    // holds what the last run wrote).
    FileOutcome unchanged(const Entry& e, const Plan& plan) const {
        const FileRecord& known = *plan.target.known;
        FileOutcome r = outcome_with(
            e.kind == Kind::kTemplate ? converted_status(known.findings) : FileStatus::kCopied, "");
        r.action = Action::kUnchanged;
        r.findings = known.findings;
        if (!options_.html.empty() && wants_excerpt(r.findings)) {
            std::string bytes;
            if (!read_all(plan.source.fd(), bytes)) r.excerpt = excerpt_of(bytes, r.findings);
            std::string written;
            if (r.excerpt && e.kind == Kind::kTemplate && !options_.target.empty() &&
                !read_file(join(options_.target, e.target), written))
                r.target_excerpt = target_excerpt_of(written, r.findings, *r.excerpt);
        }
        return r;
    }

    const Options& options_;
    const Converter converter_;
    const PlanContext context_;
    Writer& writer_;
};

// Runs the pipeline over the entries, directories first and in walk order,
// then the files on `jobs` workers, and writes each entry's lines as soon as
// it and every entry before it are finished.
class Runner {
  public:
    Runner(const Options& options, const std::vector<Entry>& entries, const Pipeline& pipeline,
           Writer& writer, std::FILE* report, bool progress)
        : options_(options),
          entries_(entries),
          outcomes_(entries.size()),
          finished_(entries.size(), 0),
          placing_(entries.size(), 0),
          pipeline_(pipeline),
          writer_(writer),
          report_(report),
          progress_(progress) {
        writer_.on_placed([this](const Entry& e, const Error& error) {
            placed(std::size_t(&e - entries_.data()), error);
        });
    }

    // Whether every entry was finished: false when a signal stopped the run.
    bool run(unsigned jobs) {
        std::vector<std::size_t> work = make_directories();
        total_ = work.size();
        jobs = std::max(1u, std::min<unsigned>(jobs, unsigned(work.size())));
        install_cleanup(jobs + writer_.use_slots(jobs, jobs));
        const std::vector<std::size_t> runs = directory_runs(work);
        std::atomic<std::size_t> next{0};
        std::vector<std::thread> workers;
        for (unsigned slot = 0; slot < jobs; ++slot) {
            workers.emplace_back([&, slot] {
                for (std::size_t r; !interrupted() && (r = next.fetch_add(1)) + 1 < runs.size();)
                    for (std::size_t k = runs[r]; k < runs[r + 1] && !interrupted(); ++k)
                        process(work[k], slot);
                writer_.flush();
                std::lock_guard lock(mutex_);
                ++workers_done_;
                changed_.notify_one();
            });
        }
        report_in_order(jobs);
        for (std::thread& t : workers) t.join();
        return !interrupted();
    }

    const std::vector<FileOutcome>& outcomes() const { return outcomes_; }
    const std::vector<char>& finished() const { return finished_; }

  private:
    // Where each run of files of one target directory starts in `work`, and
    // its end. A worker takes a whole run: two threads creating files in one
    // directory queue on its lock in the kernel (spinning, on some file
    // systems), while files in different directories are created in
    // parallel. A long run is cut, so that a flat site is still converted on
    // every worker.
    std::vector<std::size_t> directory_runs(const std::vector<std::size_t>& work) const {
        constexpr std::size_t kLongest = 64;
        std::vector<std::size_t> runs;
        std::string dir;
        for (std::size_t k = 0; k < work.size(); ++k) {
            std::string here = parent(entries_[work[k]].target);
            if (k == 0 || here != dir || k - runs.back() == kLongest) runs.push_back(k);
            dir = std::move(here);
        }
        runs.push_back(work.size());
        return runs;
    }

    // Makes the directories, so that workers only write files; whatever lies
    // in a directory that could not be made fails with it, reported once, by
    // the directory. Returns the entries left for the workers.
    std::vector<std::size_t> make_directories() {
        std::vector<std::size_t> work;
        std::unordered_map<std::string, std::size_t> failed_dirs;  // -> failed top directory
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            const Entry& e = entries_[i];
            auto in_failed = failed_dirs.find(parent(e.target));
            // A file that --no-copy leaves out loses nothing with its
            // directory: it is not copied, as anywhere else.
            const bool written = e.kind != Kind::kSkipped && e.kind != Kind::kExcluded &&
                                 (e.kind != Kind::kFile || options_.copy);
            if (in_failed != failed_dirs.end() && written) {
                outcomes_[i] = failed_outcome("its directory could not be created");
                outcomes_[i].quiet = true;
                if (e.kind == Kind::kDirectory)
                    failed_dirs[e.target] = in_failed->second;
                else
                    ++outcomes_[in_failed->second].files_lost;
            } else if (e.kind == Kind::kDirectory) {
                outcomes_[i] = directory(e);
                if (outcomes_[i].status == FileStatus::kFailed && e.problem.empty())
                    failed_dirs[e.target] = i;
            } else {
                work.push_back(i);
                continue;
            }
            finished_[i] = 1;
        }
        return work;
    }

    FileOutcome directory(const Entry& e) {
        if (!e.problem.empty()) return failed_outcome(e.problem);
        if (Error problem = writer_.make_directory(e.target))
            return failed_outcome(problem.message());
        return outcome_with(FileStatus::kDone, "");
    }

    void process(std::size_t i, unsigned slot) {
        {
            std::lock_guard lock(mutex_);
            current_ = entries_[i].path;
        }
        FileOutcome r = pipeline_.process(entries_[i], slot);
        std::lock_guard lock(mutex_);
        outcomes_[i] = std::move(r);
        // A file written is finished once it is in place, with its batch.
        if (is_written(outcomes_[i].action) && ++placing_[i] < 2) return;
        finish(i);
    }

    // The writer put the file of entry `i` in place, or failed to.
    void placed(std::size_t i, const Error& error) {
        std::lock_guard lock(mutex_);
        if (error) unplaced_[i] = error.message();
        if (++placing_[i] == 2) finish(i);
    }

    // With the mutex held.
    void finish(std::size_t i) {
        if (auto it = unplaced_.find(i); it != unplaced_.end()) {
            outcomes_[i] = failed_outcome(it->second);
            unplaced_.erase(it);
        }
        finished_[i] = 1;
        ++done_;
        // The reporter waits for the first entry it has not written; the
        // others it takes with that one (or, for the progress line, within
        // its 100 ms).
        if (i == next_) changed_.notify_one();
    }

    // The lines of the entries finished since the last call, in order, and
    // their diffs, which are dropped once taken. After an interruption
    // (`all`), the finished entries beyond the first unfinished one too.
    void take_lines(bool all, std::string& text, std::string& diffs) {
        auto emit = [&](std::size_t i) {
            append_entry_lines(text, entries_[i], outcomes_[i], options_.verbosity);
            diffs += outcomes_[i].diff;
            std::string().swap(outcomes_[i].diff);
        };
        while (next_ < entries_.size() && finished_[next_]) emit(next_++);
        if (all)
            for (std::size_t i = next_; i < entries_.size(); ++i)
                if (finished_[i]) emit(i);
    }

    void report_in_order(unsigned jobs) {
        std::unique_lock lock(mutex_);
        while (true) {
            std::string text, diffs;
            take_lines(false, text, diffs);
            const bool all = next_ == entries_.size() || workers_done_ == jobs;
            if (all) take_lines(true, text, diffs);
            const std::size_t done = done_;
            const std::string current = current_;
            lock.unlock();
            if (!diffs.empty()) std::fwrite(diffs.data(), 1, diffs.size(), stdout);
            draw(text, all, done, current);
            if (all) return;
            lock.lock();
            changed_.wait_for(lock, std::chrono::milliseconds(100));
        }
    }

    // Writes `text`, keeping the progress line at the bottom when asked.
    void draw(const std::string& text, bool all, std::size_t done, const std::string& current) {
        using Clock = std::chrono::steady_clock;
        if (progress_ && !text.empty()) std::fputs("\r\033[K", report_);
        std::fwrite(text.data(), 1, text.size(), report_);
        if (progress_) {
            Clock::time_point now = Clock::now();
            if (all) {
                std::fputs("\r\033[K", report_);
            } else if (!text.empty() || now - drawn_ > std::chrono::milliseconds(100)) {
                std::fputs(("\r\033[K" + progress_line(done, total_, current, width())).c_str(),
                           report_);
                drawn_ = now;
            }
        }
        std::fflush(report_);
    }

    std::size_t width() const {
        struct winsize ws;
        if (::ioctl(::fileno(report_), TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
        return 80;
    }

    const Options& options_;
    const std::vector<Entry>& entries_;
    std::vector<FileOutcome> outcomes_;
    std::vector<char> finished_;
    // For a file written: 1 when either its outcome or its placing is in, 2
    // when both are; why it could not be placed.
    std::vector<unsigned char> placing_;
    std::unordered_map<std::size_t, std::string> unplaced_;
    const Pipeline& pipeline_;
    Writer& writer_;
    std::FILE* report_;
    const bool progress_;
    std::size_t total_ = 0;
    std::size_t next_ = 0;  // the first entry whose lines are not written
    std::chrono::steady_clock::time_point drawn_{};

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
    if (dir.empty()) dir.assign(1, '.');
    if (::stat(dir.c_str(), &st) != 0) return std::strerror(errno);
    if (!S_ISDIR(st.st_mode)) return std::strerror(ENOTDIR);
    return ::access(dir.c_str(), W_OK | X_OK) == 0 ? "" : std::strerror(errno);
}

std::string shown_name(const std::string& path) {
    return path == "-" ? "standard output" : printable(path);
}

// SOURCE and TARGET, resolved.
struct Roots {
    std::string source, target;
};

// Checks the command's names before anything is read or written; returns
// the exit status of a usage error, or 0.
int check_names(const Options& options, std::FILE* report, Roots& roots) {
    const std::string source_name = printable(options.source);
    const std::string target_name = printable(options.target);
    roots.source = resolved(options.source);
    struct stat st;
    if (roots.source.empty()) return usage_error(report, source_name + ": cannot resolve the name");
    if (::stat(roots.source.c_str(), &st) != 0)
        return usage_error(report, source_name + ": " + std::strerror(errno));
    if (!S_ISDIR(st.st_mode)) return usage_error(report, source_name + ": not a directory");
    if (!options.target.empty()) {
        roots.target = resolved(options.target);
        if (roots.target.empty())
            return usage_error(report, target_name + ": cannot resolve the name");
        if (is_within(roots.target, roots.source))
            return usage_error(report, "the target directory " + target_name +
                                           " is the source directory or lies inside it");
        if (::stat(roots.target.c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
            return usage_error(report, target_name + ": not a directory");
    }
    if (!options.conflicts.empty()) {
        const std::string dir = resolved(options.conflicts);
        // Either way round, a page written there could land in a tree.
        auto overlaps = [&](const std::string& root) {
            return !root.empty() && (is_within(dir, root) || is_within(root, dir));
        };
        if (dir.empty() || overlaps(roots.source) || overlaps(roots.target))
            return usage_error(report, "the conflicts directory " + printable(options.conflicts) +
                                           " overlaps the source or target directory");
    }
    for (const std::string* file : {&options.report, &options.html, &options.sarif}) {
        if (file->empty()) continue;
        if (*file != "-" && is_within(resolved(*file), roots.source))
            return usage_error(report, "the report file " + printable(*file) +
                                           " lies inside the source directory");
        if (std::string why = unwritable(*file); !why.empty())
            return usage_error(report, printable(*file) + ": cannot write the report: " + why);
    }
    return 0;
}

// Where the record of earlier runs lies, outside both trees; returns the
// exit status of a usage error, or 0.
int record_path(const Options& options, std::FILE* report, const Roots& roots, std::string& path) {
    Error problem;
    if (options.state.empty())
        problem = Record::default_path(roots.target, path);
    else
        path = resolved(options.state);
    if (path.empty())
        return usage_error(report, problem
                                       ? problem.message()
                                       : printable(options.state) + ": cannot resolve the name");
    if (is_within(path, roots.source) || is_within(path, roots.target))
        return usage_error(report, "the record " + printable(path) +
                                       " would lie inside the source or target directory");
    if (!options.state.empty()) {
        if (std::string why = unwritable(path); !why.empty())
            return usage_error(report, printable(path) + ": cannot write the record: " + why);
    }
    return 0;
}

// For --check, and --diff without a record of TARGET_DIR: nothing is read
// of the target. --diff with one previews the merges a run would make.
int open_dry_writer(const Options& options, std::FILE* report, const Roots& roots, Record& record,
                    std::unique_ptr<Writer>& writer) {
    std::string path;
    struct stat st;
    if (!options.diff || options.target.empty() ||
        (options.state.empty() && Record::default_path(roots.target, path)) ||
        (!options.state.empty() && (path = resolved(options.state)).empty()) ||
        ::stat(path.c_str(), &st) != 0) {
        writer = dry_writer();
        return 0;
    }
    if (Error problem = record.open_read_only(path, roots.source, roots.target)) {
        std::fprintf(report, "tvconv-tree: %s\n", printable(problem.message()).c_str());
        return 1;
    }
    writer = preview_writer(options, roots.source, roots.target, record);
    return 0;
}

// The writer of this run: for --check and --diff one that writes nothing;
// otherwise the target is made and the record opened. Returns the exit
// status of a failure, or 0.
int open_writer(const Options& options, std::FILE* report, Roots& roots, Record& record,
                std::unique_ptr<Writer>& writer) {
    if (options.check) return open_dry_writer(options, report, roots, record, writer);
    std::string path;
    if (int status = record_path(options, report, roots, path)) return status;
    std::error_code ec;
    std::filesystem::create_directories(roots.target, ec);
    if (ec) {
        std::fprintf(report, "tvconv-tree: %s: %s\n", printable(options.target).c_str(),
                     ec.message().c_str());
        return 1;
    }
    // Resolved again: the target exists now, and its real path keys the record.
    roots.target = resolved(options.target);
    if (options.state.empty()) (void)Record::default_path(roots.target, path);
    if (Error problem = record.open(path, roots.source, roots.target)) {
        std::fprintf(report, "tvconv-tree: %s\n", printable(problem.message()).c_str());
        return 1;
    }
    writer = tree_writer(options, roots.source, roots.target, record);
    return 0;
}

// The end of a run: the summary, the record made durable (before any report
// file: it is what the next run relies on), and the report files, each a
// view of `model`. Returns the exit status.
int finish(const Options& options, const ReportModel& model, Writer& writer,
           const std::string& source, std::FILE* report) {
    int status = model.exit_status();
    std::fputs(summary_text(model).c_str(), report);
    // What the SARIF log leaves out, said at once after the summary.
    const SarifSelection selection =
        options.sarif.empty() ? SarifSelection{} : sarif_selection(model);
    std::fputs(sarif_left_out_line(selection).c_str(), report);
    auto fail = [&] {
        if (status != 130) status = 1;
    };
    if (Error problem = writer.finish()) {
        std::fprintf(report, "tvconv-tree: %s\n", printable(problem.message()).c_str());
        fail();
    }
    if (options.diff && (std::fflush(stdout) != 0 || std::ferror(stdout))) {
        std::fprintf(report, "tvconv-tree: standard output: %s\n", std::strerror(errno));
        fail();
    }
    // A report that cannot be written fails the run, and the others are
    // still written.
    const int reported = status;
    using Produce = std::function<Error(const PieceSink&)>;
    const std::pair<const std::string*, Produce> reports[] = {
        {&options.report, [&](const PieceSink& put) { return json_report(model, reported, put); }},
        {&options.html, [&](const PieceSink& put) { return html_report(model, reported, put); }},
        {&options.sarif,
         [&](const PieceSink& put) { return put(sarif_report(model, source, selection)); }},
    };
    for (const auto& [file, produce] : reports) {
        if (file->empty()) continue;
        if (Error problem = write_output(*file, produce)) {
            std::fprintf(report, "tvconv-tree: %s: %s\n", shown_name(*file).c_str(),
                         problem.message().c_str());
            fail();
        }
    }
    return status;
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
    Roots roots;
    if (int status = check_names(options, report, roots)) return status;
    Record record;
    std::unique_ptr<Writer> writer;
    if (int status = open_writer(options, report, roots, record, writer)) return status;

    std::vector<Entry> entries;
    if (Error problem = walk(roots.source, options, entries)) {
        std::fprintf(report, "tvconv-tree: %s: %s\n", printable(options.source).c_str(),
                     problem.message().c_str());
        return 1;
    }
    if (std::size_t leftovers = writer->prepare(entries))
        std::fprintf(report, "tvconv-tree: removed %zu temporary %s left by an interrupted run\n",
                     leftovers, leftovers == 1 ? "file" : "files");

    const Pipeline pipeline(options, roots.source, entries, *writer);
    Runner runner(options, entries, pipeline, *writer, report, progress);
    const unsigned jobs =
        options.jobs ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
    const bool complete = runner.run(jobs);
    ReportModel model(options, entries, runner.outcomes(), runner.finished(),
                      writer->stale(entries), !complete);
    return finish(options, model, *writer, roots.source, report);
}

}  // namespace tvconv::tree
