#include "tree/run.h"

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "core/convert.h"
#include "tree/output.h"
#include "tree/report.h"
#include "tree/walk.h"

namespace tvconv::tree {

namespace {

// Converts one template exactly as `tvconv FILE` would, all in memory.
Result convert_template(const std::string& path, std::string& output) {
    Result r;
    std::FILE* in = std::fopen(path.c_str(), "r");
    if (!in) {
        r.reason = std::string("cannot read: ") + std::strerror(errno);
        return r;
    }
    tvconv::Result converted = tvconv::convert(in);
    std::fclose(in);
    output = converted.output.str();
    r.diagnostics = std::move(converted.diagnostics);
    switch (converted.status) {
        case tvconv::Status::accepted:
            r.status = r.diagnostics.empty() ? Status::kConverted : Status::kManual;
            break;
        case tvconv::Status::syntax_error:
            r.reason = "syntax error";
            break;
        case tvconv::Status::stack_overflow:
            r.reason = "nested too deeply (parser stack overflow)";
            break;
        case tvconv::Status::scanner_fatal:
            r.reason = "cannot read: " + r.diagnostics.back().message;
            break;
        case tvconv::Status::out_of_memory:
            r.reason = "out of memory";
            break;
    }
    return r;
}

std::string under(const std::string& root, const std::string& rel) {
    return root + "/" + rel;
}

class Runner {
  public:
    Runner(const Options& options, std::string source_root, std::string target_root,
           std::vector<Entry> entries, std::FILE* report, bool progress)
        : options_(options),
          source_(std::move(source_root)),
          target_(std::move(target_root)),
          entries_(std::move(entries)),
          results_(entries_.size()),
          finished_(entries_.size(), 0),
          report_(report),
          progress_(progress) {}

    int run(unsigned jobs) {
        // Directories first, in walk order, so that workers only write files.
        std::vector<std::size_t> work;
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            if (entries_[i].kind == Kind::kDirectory) {
                directory(i);
                finished_[i] = 1;
            } else {
                work.push_back(i);
            }
        }
        total_ = work.size();
        jobs = std::max(1u, std::min<unsigned>(jobs, unsigned(work.size())));
        if (!options_.check) install_cleanup(jobs);

        std::atomic<std::size_t> next{0};
        std::vector<std::thread> workers;
        for (unsigned slot = 0; slot < jobs; ++slot) {
            workers.emplace_back([&, slot] {
                for (std::size_t k; (k = next.fetch_add(1)) < work.size();) process(work[k], slot);
            });
        }
        report_in_order();
        for (std::thread& t : workers) t.join();

        std::fputs(summary_text(options_, entries_, results_).c_str(), report_);
        return exit_status(results_);
    }

    const std::vector<Entry>& entries() const { return entries_; }
    const std::vector<Result>& results() const { return results_; }

  private:
    void directory(std::size_t i) {
        const Entry& e = entries_[i];
        Result& r = results_[i];
        r.status = Status::kDone;
        if (!e.problem.empty()) {
            r.status = Status::kFailed;
            r.reason = e.problem;
        } else if (!options_.check) {
            if (std::string problem = make_directory(under(target_, e.target)); !problem.empty()) {
                r.status = Status::kFailed;
                r.reason = problem;
            }
        }
    }

    void process(std::size_t i, unsigned slot) {
        {
            std::lock_guard lock(mutex_);
            current_ = entries_[i].path;
        }
        Result r;
        try {
            r = process_entry(entries_[i], slot);
        } catch (const std::exception& ex) {
            r = Result{Status::kFailed, ex.what(), {}};
        }
        std::lock_guard lock(mutex_);
        results_[i] = std::move(r);
        finished_[i] = 1;
        ++done_;
        changed_.notify_one();
    }

    Result process_entry(const Entry& e, unsigned slot) {
        if (e.kind == Kind::kSkipped) return Result{Status::kSkipped, e.problem, {}};
        if (!e.problem.empty()) return Result{Status::kFailed, e.problem, {}};
        std::string source = under(source_, e.path), target = under(target_, e.target);
        if (e.kind == Kind::kFile) {
            if (!options_.copy) return Result{Status::kNotCopied, "", {}};
            if (!options_.check) {
                std::string problem = copy_file(source, target, e.mode, slot);
                if (!problem.empty()) return Result{Status::kFailed, problem, {}};
            }
            return Result{Status::kCopied, "", {}};
        }
        std::string output;
        Result r = convert_template(source, output);
        if (r.status != Status::kFailed && !options_.check) {
            std::string problem = write_file(target, output, e.mode, slot);
            if (!problem.empty()) {
                r.status = Status::kFailed;
                r.reason = problem;
            }
        }
        return r;
    }

    // Writes each entry's lines as soon as it and every entry before it are
    // finished, so the report does not depend on the number of jobs.
    void report_in_order() {
        using Clock = std::chrono::steady_clock;
        Clock::time_point drawn{};
        std::size_t next = 0;
        std::unique_lock lock(mutex_);
        while (true) {
            std::string text;
            while (next < entries_.size() && finished_[next]) {
                text += entry_lines(entries_[next], results_[next]);
                ++next;
            }
            bool all = next == entries_.size();
            std::size_t done = done_;
            std::string current = current_;
            lock.unlock();
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
    std::vector<Result> results_;
    std::vector<char> finished_;
    std::FILE* report_;
    bool progress_;
    std::size_t total_ = 0;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t done_ = 0;
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

// Writes the JSON report; "-" is standard output.
std::string write_report(const std::string& path, const std::string& json) {
    if (path == "-") {
        std::fputs(json.c_str(), stdout);
        return std::fflush(stdout) == 0 ? "" : std::strerror(errno);
    }
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (!f) return std::strerror(errno);
    std::fwrite(json.data(), 1, json.size(), f);
    bool ok = std::fflush(f) == 0 && !std::ferror(f);
    int error = errno;
    if (std::fclose(f) != 0 && ok) return std::strerror(errno);
    return ok ? "" : std::strerror(error ? error : EIO);
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
    std::string source = resolved(options.source);
    struct stat st;
    if (source.empty()) return usage_error(report, options.source + ": cannot resolve the name");
    if (::stat(source.c_str(), &st) != 0)
        return usage_error(report, options.source + ": " + std::strerror(errno));
    if (!S_ISDIR(st.st_mode)) return usage_error(report, options.source + ": not a directory");

    std::string target;
    if (!options.target.empty()) {
        target = resolved(options.target);
        if (target.empty())
            return usage_error(report, options.target + ": cannot resolve the name");
        if (is_within(target, source))
            return usage_error(report, "the target directory " + options.target +
                                           " is the source directory or lies inside it");
        if (::stat(target.c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
            return usage_error(report, options.target + ": not a directory");
    }
    if (!options.report.empty() && options.report != "-" &&
        is_within(resolved(options.report), source))
        return usage_error(
            report, "the report file " + options.report + " lies inside the source directory");

    std::string problem;
    std::vector<Entry> entries = walk(source, options, problem);
    if (!problem.empty()) {
        std::fprintf(report, "tvconv-tree: %s: %s\n", options.source.c_str(), problem.c_str());
        return 1;
    }
    guard_source(source);
    if (!options.check) {
        std::error_code ec;
        std::filesystem::create_directories(target, ec);
        if (ec) {
            std::fprintf(report, "tvconv-tree: %s: %s\n", options.target.c_str(),
                         ec.message().c_str());
            return 1;
        }
    }

    unsigned jobs = options.jobs ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
    Runner runner(options, source, target, std::move(entries), report, progress);
    int status = runner.run(jobs);

    if (!options.report.empty()) {
        std::string json = json_report(options, runner.entries(), runner.results(), status);
        if (std::string problem = write_report(options.report, json); !problem.empty()) {
            std::fprintf(report, "tvconv-tree: %s: %s\n", options.report.c_str(), problem.c_str());
            return 1;
        }
    }
    return status;
}

}  // namespace tvconv::tree
