#include "tree/report.h"

#include <cstdio>

namespace tvconv::tree {

namespace {

bool renamed(const Entry& e, const Result& r) {
    return e.kind == Kind::kTemplate && e.target != e.path &&
           (r.status == Status::kConverted || r.status == Status::kManual);
}

const char* status_name(Status s) {
    switch (s) {
        case Status::kDone:
            return "done";
        case Status::kConverted:
            return "converted";
        case Status::kManual:
            return "manual";
        case Status::kFailed:
            return "failed";
        case Status::kCopied:
            return "copied";
        case Status::kNotCopied:
            return "not_copied";
        case Status::kSkipped:
            return "skipped";
    }
    return "";
}

const char* kind_name(Kind k) {
    switch (k) {
        case Kind::kDirectory:
            return "directory";
        case Kind::kTemplate:
            return "template";
        case Kind::kFile:
            return "file";
        case Kind::kSkipped:
            return "other";
    }
    return "";
}

std::string shown_path(const Entry& e) {
    return printable(e.path) + (e.kind == Kind::kDirectory ? "/" : "");
}

// Length of the UTF-8 sequence starting at s[i], or 0 when it is not one.
std::size_t utf8_length(std::string_view s, std::size_t i) {
    unsigned char c = s[i];
    std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return 0;
    for (std::size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 0;
    // Overlong forms and surrogates are not UTF-8 either.
    unsigned char c1 = s[i + (n > 1)];
    if ((n == 2 && c < 0xC2) || (n == 3 && c == 0xE0 && c1 < 0xA0) ||
        (n == 3 && c == 0xED && c1 >= 0xA0) || (n == 4 && c == 0xF0 && c1 < 0x90) ||
        (n == 4 && (c > 0xF4 || (c == 0xF4 && c1 >= 0x90))))
        return 0;
    return n;
}

}  // namespace

std::string json_string(std::string_view s) {
    std::string out = "\"";
    for (std::size_t i = 0; i < s.size();) {
        unsigned char c = s[i];
        std::size_t n = utf8_length(s, i);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c < 0x20 || c == 0x7f || n == 0) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
            n = 1;
        } else {
            out.append(s.substr(i, n));
        }
        i += n ? n : 1;
    }
    return out + "\"";
}

std::string entry_lines(const Entry& e, const Result& r) {
    std::string out;
    std::string path = shown_path(e);
    for (const Diagnostic& d : r.diagnostics) {
        out += path;
        if (d.line) {
            out += ':';
            out += std::to_string(*d.line);
        }
        out += ": " + printable(d.message_without_line()) + "\n";
    }
    if (r.status == Status::kFailed) {
        out += path + ": failed: " + printable(r.reason);
        out +=
            e.kind == Kind::kDirectory ? "; its contents are not converted\n" : "; not written\n";
    } else if (r.status == Status::kSkipped) {
        out += path + ": skipped: " + printable(r.reason) + "\n";
    }
    return out;
}

int exit_status(const std::vector<Result>& results) {
    int status = 0;
    for (const Result& r : results) {
        if (r.status == Status::kFailed) return 1;
        if (r.status == Status::kManual) status = 3;
    }
    return status;
}

std::string summary_text(const Options& options, const std::vector<Entry>& entries,
                         const std::vector<Result>& results) {
    std::size_t templates = 0, files = 0;
    std::size_t count[7] = {};
    std::string manual, failed, renames, skipped;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Entry& e = entries[i];
        const Result& r = results[i];
        templates += e.kind == Kind::kTemplate;
        files += e.kind == Kind::kFile;
        ++count[int(r.status)];
        std::string path = shown_path(e);
        if (r.status == Status::kManual) {
            std::size_t n = r.diagnostics.size();
            manual += "    " + path + " (" + std::to_string(n) +
                      (n == 1 ? " diagnostic)\n" : " diagnostics)\n");
        } else if (r.status == Status::kFailed) {
            failed += "    " + path + ": " + printable(r.reason) + "\n";
        } else if (r.status == Status::kSkipped) {
            skipped += "    " + path + ": " + printable(r.reason) + "\n";
        }
        if (renamed(e, r)) renames += "    " + path + " -> " + printable(e.target) + "\n";
    }
    std::size_t renamed_count = 0;
    for (std::size_t i = 0; i < entries.size(); ++i)
        renamed_count += renamed(entries[i], results[i]);

    auto line = [](const char* what, std::size_t n) {
        return std::string("  ") + what + ": " + std::to_string(n) + "\n";
    };
    std::string out = "tvconv-tree: " + std::to_string(templates) +
                      (templates == 1 ? " template, " : " templates, ") + std::to_string(files) +
                      (files == 1 ? " other file" : " other files") +
                      (options.check ? " (check only: nothing written)\n" : "\n");
    out += line("converted cleanly", count[int(Status::kConverted)]);
    out += line("converted with manual edits left", count[int(Status::kManual)]) + manual;
    out += line("failed", count[int(Status::kFailed)]) + failed;
    out += line("copied", count[int(Status::kCopied)]);
    if (!options.copy) out += line("not copied (--no-copy)", count[int(Status::kNotCopied)]);
    out += line("renamed", renamed_count) + renames;
    if (count[int(Status::kSkipped)])
        out += line("skipped", count[int(Status::kSkipped)]) + skipped;
    return out;
}

std::string json_report(const Options& options, const std::vector<Entry>& entries,
                        const std::vector<Result>& results, int status) {
    std::size_t count[7] = {}, renamed_count = 0;
    std::string files, renames, diagnostics;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Entry& e = entries[i];
        const Result& r = results[i];
        ++count[int(r.status)];
        if (r.status == Status::kDone) continue;  // directories appear only when they failed
        files += files.empty() ? "\n    " : ",\n    ";
        files += "{\"path\": " + json_string(e.path) + ", \"kind\": \"" + kind_name(e.kind) + "\"";
        if (e.kind != Kind::kSkipped && e.kind != Kind::kDirectory)
            files += ", \"target\": " + json_string(e.target);
        files += ", \"status\": \"" + std::string(status_name(r.status)) + "\"";
        if (!r.reason.empty()) files += ", \"reason\": " + json_string(r.reason);
        if (e.kind == Kind::kTemplate)
            files += ", \"diagnostics\": " + std::to_string(r.diagnostics.size());
        files += "}";
        if (renamed(e, r)) {
            ++renamed_count;
            renames += renames.empty() ? "\n    " : ",\n    ";
            renames +=
                "{\"from\": " + json_string(e.path) + ", \"to\": " + json_string(e.target) + "}";
        }
        for (const Diagnostic& d : r.diagnostics) {
            diagnostics += diagnostics.empty() ? "\n    " : ",\n    ";
            diagnostics += "{\"path\": " + json_string(e.path) +
                           ", \"line\": " + (d.line ? std::to_string(*d.line) : "null") +
                           ", \"message\": " + json_string(d.message_without_line()) + "}";
        }
    }
    auto list = [](const std::string& items) {
        return items.empty() ? "[]" : "[" + items + "\n  ]";
    };
    auto n = [&](Status s) { return std::to_string(count[int(s)]); };
    std::string out = "{\n";
    out += "  \"source\": " + json_string(options.source) + ",\n";
    out +=
        "  \"target\": " + (options.target.empty() ? "null" : json_string(options.target)) + ",\n";
    out += std::string("  \"check\": ") + (options.check ? "true" : "false") + ",\n";
    out += "  \"exit_status\": " + std::to_string(status) + ",\n";
    out += "  \"summary\": {\"converted\": " + n(Status::kConverted) +
           ", \"manual\": " + n(Status::kManual) + ", \"failed\": " + n(Status::kFailed) +
           ", \"copied\": " + n(Status::kCopied) + ", \"not_copied\": " + n(Status::kNotCopied) +
           ", \"renamed\": " + std::to_string(renamed_count) +
           ", \"skipped\": " + n(Status::kSkipped) + "},\n";
    out += "  \"files\": " + list(files) + ",\n";
    out += "  \"renames\": " + list(renames) + ",\n";
    out += "  \"diagnostics\": " + list(diagnostics) + "\n";
    out += "}\n";
    return out;
}

}  // namespace tvconv::tree
