#include "tree/report.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "tree/names.h"

namespace tvconv::tree {

using json = nlohmann::ordered_json;

bool is_renamed(const Entry& e, const Result& r) {
    return e.kind == Kind::kTemplate && e.target != e.path &&
           (r.status == Status::kConverted || r.status == Status::kManual ||
            r.status == Status::kEdited);
}

const char* status_name(Status s) {
    switch (s) {
        case Status::kDone: return "done";
        case Status::kConverted: return "converted";
        case Status::kManual: return "manual";
        case Status::kFailed: return "failed";
        case Status::kCopied: return "copied";
        case Status::kNotCopied: return "not_copied";
        case Status::kSkipped: return "skipped";
        case Status::kExcluded: return "excluded";
        case Status::kEdited: return "edited";
    }
    return "";
}

const char* action_name(Action a) {
    switch (a) {
        case Action::kNone: return "none";
        case Action::kWritten: return "written";
        case Action::kUnchanged: return "unchanged";
        case Action::kRecorded: return "recorded";
        case Action::kKept: return "kept";
    }
    return "";
}

const char* kind_name(Kind k) {
    switch (k) {
        case Kind::kDirectory: return "directory";
        case Kind::kTemplate: return "template";
        case Kind::kFile: return "file";
        case Kind::kSkipped: return "other";
        case Kind::kExcluded: return "excluded";
    }
    return "";
}

namespace {

std::string shown_path(const Entry& e) {
    return printable(e.path) + (e.kind == Kind::kDirectory || e.directory ? "/" : "");
}

std::size_t count_findings(const Result& r, const char* severity) {
    std::size_t n = 0;
    for (const Finding& f : r.findings) n += std::string_view(severity_of(f.code)) == severity;
    return n;
}

// JSON strings must be UTF-8, but names and messages are bytes. A string
// that is not UTF-8 goes into the document as a placeholder that no name can
// be (it holds NUL), and the dump puts in its own escape, each byte that is
// not part of a UTF-8 sequence as a lone surrogate U+DC80 to U+DCFF, as
// Python's surrogateescape does: reversible, and distinct from every valid
// name.
class JsonBytes {
  public:
    json operator()(const std::string& s) {
        if (is_utf8(s)) return s;
        raw_.push_back(s);
        return std::string(1, '\0') + std::to_string(raw_.size() - 1) + std::string(1, '\0');
    }

    std::string dump(const json& j) const {
        std::string text = j.dump(2);
        if (raw_.empty()) return text + "\n";
        std::string out;
        constexpr std::string_view kOpen = "\"\\u0000";
        std::size_t from = 0;
        for (std::size_t at; (at = text.find(kOpen, from)) != std::string::npos;) {
            std::size_t digits = at + kOpen.size(), end = digits;
            while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
            if (end == digits || text.compare(end, 7, "\\u0000\"") != 0) {
                out.append(text, from, digits - from);
                from = digits;
                continue;
            }
            out.append(text, from, at - from);
            out += escaped(raw_[std::stoul(text.substr(digits, end - digits))]);
            from = end + 7;
        }
        out.append(text, from);
        return out + "\n";
    }

  private:
    static std::string escaped(std::string_view s) {
        std::string out = "\"";
        char buf[8];
        for (std::size_t i = 0; i < s.size();) {
            unsigned char c = s[i];
            std::size_t n = utf8_length(s, i);
            if (n == 0) {
                std::snprintf(buf, sizeof buf, "\\udc%02x", c);
                out += buf;
                ++i;
                continue;
            }
            if (c == '"' || c == '\\') {
                out += '\\';
                out += char(c);
            } else if (c < 0x20 || c == 0x7f) {
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out.append(s.substr(i, n));
            }
            i += n;
        }
        return out + "\"";
    }

    std::vector<std::string> raw_;
};

}  // namespace

Summary::Summary(const RunReport& run) {
    for (std::size_t i = 0; i < run.entries.size(); ++i) {
        if (!run.finished[i]) continue;
        const Entry& e = run.entries[i];
        const Result& r = run.results[i];
        templates += e.kind == Kind::kTemplate;
        files += e.kind == Kind::kFile;
        ++status[int(r.status)];
        // A directory that failed to be made is counted through its
        // files; one that could not be read, whose files are unknown, is
        // counted itself.
        if (r.status == Status::kFailed &&
            !(e.kind == Kind::kDirectory && (r.files_lost > 0 || r.quiet)))
            ++failed;
        renamed += is_renamed(e, r);
        written += r.action == Action::kWritten;
        unchanged += r.action == Action::kUnchanged;
        for (const Finding& f : r.findings) rewritten += f.code == "reference-rewritten";
        skipped_template |= r.status == Status::kSkipped && e.template_name;
    }
}

const CodeHelp kCodeHelp[] = {
    {"unconvertible-operator",
     "An operator with no counterpart in Tavrin 3 was wrapped in a ^rem remark: rewrite it by "
     "hand."},
    {"unconvertible-form",
     "This form of the operator has no counterpart in Tavrin 3 and was wrapped in a ^rem "
     "remark: rewrite it by hand."},
    {"unconvertible-parameter",
     "The construct was converted, but one of its parameters needs a manual check."},
    {"ambiguous-conversion",
     "The construct was converted, but the result depends on what the old one meant: check it."},
    {"predefinitions-changed",
     "Macro files are renamed in Tavrin 3 (.cfg to .tvx, no leading '_', tavrin.cfg to "
     "auto.tvx); this reference could not be rewritten: check it."},
    {"mime-types-removed",
     "A @MIME_TYPES definition was removed: define the table in MAIN instead."},
    {"syntax-error", "The template has a syntax error; it was not converted."},
    {"stack-overflow", "Constructions are nested too deeply; the template was not converted."},
    {"scanner-fatal", "The template could not be read; it was not converted."},
    {"out-of-memory", "Memory ran out while converting; the template was not converted."},
    {"reference-rewritten",
     "A ^macro_use that named a renamed macro file now names its new name."},
    {"utf8-bom", "The template starts with a UTF-8 byte-order mark, which stays in the output."},
    {"bom-hides-definition",
     "A byte-order mark stands before a definition header on the first line, so the definition "
     "is converted as text: remove the mark."},
    {"wide-encoding",
     "The template is in UTF-16 or UTF-32, which the converter cannot read: convert it to "
     "UTF-8 first."},
    {"nul-byte", "The template holds NUL bytes, which are dropped from the output."},
    {"file-failed", "The file was not written; the message says why."},
    {"template-skipped",
     "A file with a template's name was skipped (a dangling or looping link, a link out of the "
     "tree, a special file): the site will miss it."},
    {"file-skipped", "A file was skipped (a link out of the tree or a special file)."},
    {"edited-by-hand",
     "The target file was changed since the last run wrote it; it was not overwritten."},
    {"stale-target",
     "The target file's source is gone, or no longer converted, since the last run; the "
     "target file was kept."},
};
const std::size_t kCodeHelpCount = sizeof kCodeHelp / sizeof kCodeHelp[0];

const char* severity_of(const std::string& code) {
    if (code == "reference-rewritten" || code == "file-skipped" || code == "stale-target")
        return "note";
    if (code == "syntax-error" || code == "stack-overflow" || code == "scanner-fatal" ||
        code == "out-of-memory" || code == "file-failed" || code == "template-skipped")
        return "error";
    return "warning";
}

std::vector<Item> report_items(const RunReport& run) {
    std::vector<Item> items;
    auto add = [&](const std::string& path, std::optional<int> line, std::string code,
                   std::string message) {
        std::string severity = severity_of(code);
        items.push_back({path, line, std::move(code), std::move(severity), std::move(message)});
    };
    for (std::size_t i = 0; i < run.entries.size(); ++i) {
        if (!run.finished[i]) continue;
        const Entry& e = run.entries[i];
        const Result& r = run.results[i];
        for (const Finding& f : r.findings) add(e.path, f.line, f.code, f.message);
        if (r.status == Status::kFailed && !r.quiet)
            add(e.path, std::nullopt, "file-failed", "failed: " + r.reason);
        else if (r.status == Status::kSkipped)
            add(e.path, std::nullopt, e.template_name ? "template-skipped" : "file-skipped",
                "skipped: " + r.reason);
        else if (r.status == Status::kEdited)
            add(e.path, std::nullopt, "edited-by-hand", e.target + ": " + r.reason);
    }
    for (const Stale& s : run.stale)
        add(s.source, std::nullopt, "stale-target",
            (s.source_exists ? "stale: the source is no longer converted; "
                             : "stale: the source is gone; ") +
                s.target + " was kept");
    return items;
}

std::string entry_lines(const Entry& e, const Result& r) {
    std::string out;
    std::string path = shown_path(e);
    for (const Finding& d : r.findings) {
        out += path;
        if (d.line) {
            out += ':';
            out += std::to_string(*d.line);
        }
        out += ": " + printable(d.message) + "\n";
    }
    if (r.status == Status::kFailed && !r.quiet) {
        out += path + ": failed: " + printable(r.reason);
        if (e.kind != Kind::kDirectory)
            out += "; not written\n";
        else if (r.files_lost > 0)
            out += "; " + std::to_string(r.files_lost) +
                   (r.files_lost == 1 ? " file in it is" : " files in it are") + " not written\n";
        else
            out += "; its contents are not converted\n";
    } else if (r.status == Status::kSkipped) {
        out += path + ": skipped: " + printable(r.reason) + "\n";
    } else if (r.status == Status::kEdited) {
        out += printable(e.target) + ": " + printable(r.reason) + "\n";
    }
    return out;
}

int exit_status(const RunReport& run) {
    if (run.interrupted) return 130;
    Summary c(run);
    if (c.failed > 0 || c.skipped_template || c.templates == 0) return 1;
    return c.of(Status::kManual) + c.of(Status::kEdited) > 0 ? 3 : 0;
}

std::string summary_text(const RunReport& run) {
    const Options& options = run.options;
    Summary c(run);
    std::string manual, failed, renames, skipped, excluded, edited;
    for (std::size_t i = 0; i < run.entries.size(); ++i) {
        if (!run.finished[i]) continue;
        const Entry& e = run.entries[i];
        const Result& r = run.results[i];
        std::string path = shown_path(e);
        if (r.status == Status::kManual) {
            std::size_t n = count_findings(r, "warning");
            manual += "    " + path + " (" + std::to_string(n) +
                      (n == 1 ? " diagnostic)\n" : " diagnostics)\n");
        } else if (r.status == Status::kFailed && !r.quiet) {
            failed += "    " + path + ": " + printable(r.reason) + "\n";
        } else if (r.status == Status::kSkipped) {
            skipped += "    " + path + ": " + printable(r.reason) + "\n";
        } else if (r.status == Status::kExcluded) {
            excluded += "    " + path + ": " + printable(r.reason) + "\n";
        } else if (r.status == Status::kEdited) {
            edited += "    " + printable(e.target) + "\n";
        }
        if (is_renamed(e, r)) renames += "    " + path + " -> " + printable(e.target) + "\n";
    }

    auto line = [](const char* what, std::size_t n) {
        return std::string("  ") + what + ": " + std::to_string(n) + "\n";
    };
    std::string out;
    if (run.interrupted) out += "tvconv-tree: interrupted; what was done so far:\n";
    out += "tvconv-tree: " + std::to_string(c.templates) +
           (c.templates == 1 ? " template, " : " templates, ") + std::to_string(c.files) +
           (c.files == 1 ? " other file" : " other files") +
           (options.check ? " (check only: nothing written)\n" : "\n");
    out += line("converted cleanly", c.of(Status::kConverted));
    out += line("converted with manual edits left", c.of(Status::kManual)) + manual;
    if (c.of(Status::kEdited))
        out += line("edited by hand since the last run, not overwritten", c.of(Status::kEdited)) +
               edited;
    out += line("failed", c.failed) + failed;
    out += line("copied", c.of(Status::kCopied));
    if (!options.copy) out += line("not copied (--no-copy)", c.of(Status::kNotCopied));
    out += line("renamed", c.renamed) + renames;
    if (c.rewritten) out += line("references rewritten", c.rewritten);
    if (!options.check) {
        out += line("written", c.written);
        if (c.unchanged) out += line("unchanged since the last run", c.unchanged);
    }
    if (c.of(Status::kSkipped)) out += line("skipped", c.of(Status::kSkipped)) + skipped;
    if (c.of(Status::kExcluded)) out += line("excluded", c.of(Status::kExcluded)) + excluded;
    if (!run.stale.empty()) {
        out += line("stale (source gone or no longer converted; target kept)", run.stale.size());
        for (const Stale& s : run.stale)
            out += "    " + printable(s.target) + " (from " + printable(s.source) + ")\n";
    }
    if (c.templates == 0 && !run.interrupted) {
        std::string exts;
        for (const std::string& x : options.extensions) exts += (exts.empty() ? "." : ", .") + x;
        out += "tvconv-tree: no template found: no file name ends in " + exts +
               " (choose others with --ext)\n";
    }

    // What to do next, most pressing first.
    std::string target = options.target.empty() ? "the target" : printable(options.target);
    if (run.interrupted) {
        out += "next: run the same command again to finish; what was written is kept\n";
    } else if (c.failed || c.skipped_template) {
        out += "next: mend the failed and skipped files listed above in the source, then run "
               "again\n";
    } else if (c.of(Status::kEdited)) {
        out += "next: the files edited by hand were kept; where their sources changed since, "
               "carry the changes over by hand (a --check run shows the conversion), or run with "
               "--force to overwrite the edits\n";
    } else if (c.of(Status::kManual)) {
        out += "next: edit the files listed above in " + target +
               "; a later run keeps those edits\n";
    } else if (c.templates) {
        out += options.check ? "next: nothing is left to edit; run without --check to write\n"
                             : "next: nothing is left to edit; " + target + " is converted\n";
    }
    return out;
}

std::string json_text(const std::string& bytes) {
    JsonBytes text;
    std::string dumped = text.dump(text(bytes));
    dumped.pop_back();  // the final line feed
    return dumped;
}

std::string json_report(const RunReport& run, int status) {
    const Options& options = run.options;
    JsonBytes text;
    Summary c(run);
    json files = json::array(), renames = json::array(), diagnostics = json::array(),
         stale = json::array();
    for (std::size_t i = 0; i < run.entries.size(); ++i) {
        if (!run.finished[i]) continue;
        const Entry& e = run.entries[i];
        const Result& r = run.results[i];
        if (r.status == Status::kDone) continue;  // directories appear only when they failed
        json f{{"path", text(e.path)}, {"kind", kind_name(e.kind)}};
        if (e.kind == Kind::kTemplate || e.kind == Kind::kFile) f["target"] = text(e.target);
        f["status"] = status_name(r.status);
        f["action"] = action_name(r.action);
        if (!r.reason.empty()) f["reason"] = text(r.reason);
        if (e.kind == Kind::kTemplate) f["diagnostics"] = r.findings.size();
        files.push_back(std::move(f));
        if (is_renamed(e, r)) renames.push_back(json{{"from", text(e.path)}, {"to", text(e.target)}});
    }
    for (const Item& d : report_items(run)) {
        diagnostics.push_back(json{{"path", text(d.path)},
                                   {"line", d.line ? json(*d.line) : json(nullptr)},
                                   {"code", d.code},
                                   {"severity", d.severity},
                                   {"message", text(d.message)}});
    }
    for (const Stale& s : run.stale)
        stale.push_back(json{{"target", text(s.target)},
                             {"source", text(s.source)},
                             {"reason", s.source_exists ? "no longer converted" : "source deleted"}});

    json report{
        {"format_version", 1},
        {"tool", "tvconv-tree " TVCONV_VERSION},
        {"source", text(options.source)},
        {"target", options.target.empty() ? json(nullptr) : text(options.target)},
        {"check", options.check},
        {"interrupted", run.interrupted},
        {"exit_status", status},
        {"summary",
         {{"templates", c.templates},
          {"other_files", c.files},
          {"converted", c.of(Status::kConverted)},
          {"manual", c.of(Status::kManual)},
          {"edited", c.of(Status::kEdited)},
          {"failed", c.failed},
          {"copied", c.of(Status::kCopied)},
          {"not_copied", c.of(Status::kNotCopied)},
          {"renamed", c.renamed},
          {"references_rewritten", c.rewritten},
          {"written", c.written},
          {"unchanged", c.unchanged},
          {"skipped", c.of(Status::kSkipped)},
          {"excluded", c.of(Status::kExcluded)},
          {"stale", run.stale.size()}}},
        {"files", files},
        {"renames", renames},
        {"stale", stale},
        {"diagnostics", diagnostics},
    };
    return text.dump(report);
}

}  // namespace tvconv::tree
