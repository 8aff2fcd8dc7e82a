#include "tree/html.h"

#include <cstdio>
#include <map>
#include <string_view>
#include <vector>

#include "tree/escape.h"
#include "tree/sha256.h"

namespace tvconv::tree {

namespace {

constexpr const char* kStyle = R"(
body { font: 15px/1.45 system-ui, sans-serif; margin: 2em auto; max-width: 70em; padding: 0 1em; color: #222; }
h1 { font-size: 1.6em; margin-bottom: .2em; }
h2 { font-size: 1.25em; margin-top: 1.8em; border-bottom: 1px solid #ccc; }
h3 { font-size: 1.05em; margin: 1.2em 0 .4em; font-family: ui-monospace, monospace; }
.meta { color: #555; }
.bar { display: flex; height: 1.4em; border-radius: 4px; overflow: hidden; margin: .8em 0; border: 1px solid #bbb; }
.bar span { display: block; height: 100%; }
.converted { background: #3a9d5d; } .manual { background: #e3a21a; } .edited { background: #8e6bbf; }
.failed { background: #d64545; } .copied { background: #7aa6d8; } .not-copied { background: #c9d6e3; }
.skipped { background: #999; }
table { border-collapse: collapse; margin: .5em 0; }
td, th { padding: .2em .8em .2em 0; text-align: left; vertical-align: top; }
td.n { text-align: right; font-variant-numeric: tabular-nums; }
.key { display: inline-block; width: .9em; height: .9em; border-radius: 2px; margin-right: .4em; vertical-align: -.1em; }
.finding { margin: .6em 0 1em; }
.finding p { margin: .2em 0; }
code { font-family: ui-monospace, monospace; background: #f2f2f2; padding: 0 .25em; border-radius: 3px; }
.error code.code { background: #f8d7d7; } .warning code.code { background: #fbecc8; } .note code.code { background: #dcebf8; }
pre { background: #fafafa; border: 1px solid #e2e2e2; padding: .4em 0; overflow-x: auto; margin: .3em 0; }
pre .line { display: block; padding: 0 .8em; white-space: pre; }
pre mark.line { background: #fff1b8; color: inherit; font-weight: 600; }
pre .no { display: inline-block; min-width: 4em; color: #888; user-select: none; }
.byte { color: #b00; }
#filter { margin: .5em 0; }
)";

// Filtering by code: the page is complete without it.
constexpr const char* kScript = R"(
(function () {
  var box = document.getElementById('filter');
  var select = document.createElement('select');
  var codes = {};
  document.querySelectorAll('.finding').forEach(function (f) { codes[f.dataset.code] = true; });
  var all = document.createElement('option'); all.value = ''; all.textContent = 'all codes';
  select.appendChild(all);
  Object.keys(codes).sort().forEach(function (c) {
    var o = document.createElement('option'); o.value = c; o.textContent = c; select.appendChild(o);
  });
  select.addEventListener('change', function () {
    document.querySelectorAll('.finding').forEach(function (f) {
      f.hidden = select.value !== '' && f.dataset.code !== select.value;
    });
    document.querySelectorAll('article.file').forEach(function (a) {
      a.hidden = !a.querySelector('.finding:not([hidden])');
    });
  });
  var label = document.createElement('label'); label.textContent = 'Show: ';
  label.appendChild(select); box.appendChild(label);
})();
)";

std::string percent(std::size_t part, std::size_t whole) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%.3f", whole ? 100.0 * double(part) / double(whole) : 0.0);
    return buf;
}

std::string css_class(const char* key) {
    std::string cls = key;
    for (char& ch : cls)
        if (ch == '_') ch = '-';
    return cls;
}

std::string head(const ReportModel& model, int status) {
    const Options& options = model.options();
    std::string out = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
    // Nothing is loaded from anywhere, and no script runs but ours: the page
    // quotes templates, which are HTML themselves.
    out +=
        "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
        "style-src 'unsafe-inline'; script-src '" +
        csp_hash(kScript) + "'; base-uri 'none'; form-action 'none'\">\n";
    out += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
    out += "<title>tvconv-tree report: " + html_text(options.source) + "</title>\n";
    out += "<style>" + std::string(kStyle) + "</style>\n</head>\n<body>\n";
    out += "<h1>Migration report</h1>\n<p class=\"meta\">Source <code>" +
           html_text(options.source) + "</code>, target <code>" +
           (options.target.empty() ? std::string("(none)") : html_text(options.target)) +
           "</code>. tvconv-tree " TVCONV_VERSION ", exit status <b id=\"exit-status\">" +
           std::to_string(status) + "</b>" +
           (options.check ? " (check only: nothing written)" : "") +
           (model.interrupted() ? " (interrupted)" : "") + ".</p>\n";
    return out;
}

// The numbers, and a bar of the statuses of all files. Each number's key is
// the JSON report's.
std::string summary_section(const ReportModel& model) {
    std::size_t whole = 0;
    for (std::size_t i = 0; i < kCountCount; ++i)
        if (kCountInfo[i].in_bar) whole += model.count(Count(i));
    std::string out =
        "<section id=\"summary\">\n<h2>Summary</h2>\n<div class=\"bar\" role=\"img\" "
        "aria-label=\"files by status\">";
    for (std::size_t i = 0; i < kCountCount; ++i) {
        const CountInfo& p = kCountInfo[i];
        const std::size_t n = model.count(Count(i));
        if (p.in_bar && n)
            out += "<span class=\"" + css_class(p.key) + "\" data-key=\"" + p.key +
                   "\" style=\"width:" + percent(n, whole) + "%\" title=\"" + p.label + ": " +
                   std::to_string(n) + "\"></span>";
    }
    out += "</div>\n<table class=\"counts\">\n";
    auto row = [&](std::size_t i) {
        const CountInfo& p = kCountInfo[i];
        std::string label = p.in_bar ? "<span class=\"key " + css_class(p.key) + "\"></span>" : "";
        out += "<tr><td>" + label + p.label + "</td><td class=\"n\" data-key=\"" + p.key + "\">" +
               std::to_string(model.count(Count(i))) + "</td></tr>\n";
    };
    // The two totals, then the statuses of the bar, then the rest.
    row(std::size_t(Count::templates));
    row(std::size_t(Count::other_files));
    for (std::size_t i = 0; i < kCountCount; ++i)
        if (kCountInfo[i].in_bar) row(i);
    for (std::size_t i = std::size_t(Count::other_files) + 1; i < kCountCount; ++i)
        if (!kCountInfo[i].in_bar) row(i);
    out += "</table>\n</section>\n";
    return out;
}

// One line of context; a line the excerpt cut ends in an ellipsis.
void context_line(std::string& out, std::size_t number, bool marked,
                  const SourceExcerpt::Line& line) {
    const char* tag = marked ? "mark" : "span";
    out += std::string("<") + tag + " class=\"line\"><span class=\"no\">" + std::to_string(number) +
           "</span>" + html_text(line.text) + (line.cut ? " \xe2\x80\xa6" : "") + "</" + tag + ">";
}

// The source lines around a finding at `at`, as far as the file goes.
void context(std::string& out, const SourceExcerpt& excerpt, std::size_t at) {
    constexpr std::size_t kAround = SourceExcerpt::kContextLines;
    std::size_t first = at > kAround ? at - kAround : 1;
    std::size_t last = std::min(excerpt.line_count, at + kAround);
    out += "<pre class=\"context\">";
    for (std::size_t n = first; n <= last; ++n)
        if (const SourceExcerpt::Line* line = excerpt.line(n)) context_line(out, n, n == at, *line);
    // A finding at the end of the file, past its last line.
    if (at > excerpt.line_count)
        out += "<mark class=\"line\"><span class=\"no\">" + std::to_string(at) +
               "</span>(end of file)</mark>";
    out += "</pre>\n";
}

void finding(std::string& out, const Located& item) {
    const Finding& f = *item.finding;
    const CodeInfo& info = code_info(f.code);
    const std::string code = html_text(info.name);
    const std::string_view severity = severity_name(item.severity);
    out += "<div class=\"finding " + std::string(severity) + "\" data-code=\"" + code +
           "\">\n<p><code class=\"code\" title=\"" + html_text(info.help) + "\">" + code +
           "</code> " + std::string(severity);
    if (f.line) out += ", line " + std::to_string(*f.line);
    out += ": " + html_text(f.message) + "</p>\n";
    if (f.line && *f.line > 0 && item.excerpt) context(out, *item.excerpt, std::size_t(*f.line));
    out += "</div>\n";
}

// Findings, file by file, with the source lines around each.
std::string findings_section(const ReportModel& model) {
    std::string out =
        "<section id=\"findings\">\n<h2>Files that need attention</h2>\n<div "
        "id=\"filter\"></div>\n";
    std::map<std::string_view, std::vector<const Located*>> by_path;
    std::vector<std::string_view> order;
    for (const Located& item : model.findings()) {
        if (item.severity == Severity::note) continue;
        auto [it, added] = by_path.try_emplace(item.path);
        if (added) order.push_back(item.path);
        it->second.push_back(&item);
    }
    if (order.empty()) out += "<p>None: nothing is left to do by hand.</p>\n";
    for (std::string_view path : order) {
        out += "<article class=\"file\">\n<h3>" + html_text(path) + "</h3>\n";
        for (const Located* item : by_path[path]) finding(out, *item);
        out += "</article>\n";
    }
    out += "</section>\n";
    return out;
}

// Rewritten references, renames, and the files left out or kept.
std::string list_sections(const ReportModel& model) {
    std::string rewrites, renames, failed, skipped, excluded, stale;
    for (const Located& item : model.findings())
        if (item.finding->code == DiagnosticCode::reference_rewritten)
            rewrites += "<tr><td>" + html_text(item.path) + "</td><td>line " +
                        std::to_string(item.finding->line.value_or(0)) + "</td><td>" +
                        html_text(item.finding->message) + "</td></tr>\n";
    for (const FileRow& row : model.rows()) {
        const Entry& e = *row.entry;
        const FileOutcome& r = *row.outcome;
        auto reason_row = [&] {
            return "<tr><td>" + html_text(e.path) + "</td><td>" + html_text(r.reason) +
                   "</td></tr>\n";
        };
        if (is_renamed(e, r))
            renames += "<tr><td>" + html_text(e.path) + "</td><td>&rarr;</td><td>" +
                       html_text(e.target) + "</td></tr>\n";
        if (r.status == FileStatus::kFailed && !r.quiet) failed += reason_row();
        if (r.status == FileStatus::kSkipped) skipped += reason_row();
        if (r.status == FileStatus::kExcluded) excluded += reason_row();
    }
    for (const Stale& s : model.stale())
        stale += "<tr><td>" + html_text(s.target) + "</td><td>from " + html_text(s.source) +
                 "</td></tr>\n";
    std::string out;
    auto section = [&](const char* id, const char* title, const std::string& rows) {
        if (rows.empty()) return;
        out += "<section id=\"" + std::string(id) + "\">\n<h2>" + title + "</h2>\n<table>\n" +
               rows + "</table>\n</section>\n";
    };
    section("rewrites", "References rewritten", rewrites);
    section("renames", "Renamed macro files", renames);
    section("failed", "Failed", failed);
    section("skipped", "Skipped", skipped);
    section("excluded", "Excluded", excluded);
    section("stale", "Stale targets (source gone or no longer converted; target kept)", stale);
    return out;
}

}  // namespace

std::string csp_hash(std::string_view script) {
    std::array<std::uint8_t, 32> digest = sha256(script);
    return "sha256-" + base64(digest.data(), digest.size());
}

std::string html_report(const ReportModel& model, int status) {
    return head(model, status) + summary_section(model) + findings_section(model) +
           list_sections(model) + "<script>" + std::string(kScript) +
           "</script>\n</body>\n</html>\n";
}

}  // namespace tvconv::tree
