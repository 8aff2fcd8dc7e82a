#include "tree/html.h"

#include <algorithm>
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
details.file { margin: .3em 0; }
details.file summary { cursor: pointer; }
details.file .path { font-family: ui-monospace, monospace; font-weight: 600; }
.tally { color: #555; }
details.file > pre.findings, details.file > .findings { margin: .3em 0 .8em 1.2em; }
pre.findings { background: none; border: none; white-space: pre-wrap; font: inherit; }
.finding { margin: .3em 0; }
.finding p { margin: .2em 0; }
code { font-family: ui-monospace, monospace; background: #f2f2f2; padding: 0 .25em; border-radius: 3px; }
.error code.code { background: #f8d7d7; } .warning code.code { background: #fbecc8; } .note code.code { background: #dcebf8; }
pre { background: #fafafa; border: 1px solid #e2e2e2; padding: .4em 0; overflow-x: auto; margin: .3em 0; }
pre .line { display: block; padding: 0 .8em; white-space: pre; }
pre mark.line { background: #fff1b8; color: inherit; font-weight: 600; }
.pair { display: flex; flex-wrap: wrap; gap: .6em; }
.pair > pre.context { flex: 1 1 30em; min-width: 0; overflow-x: auto; }
pre .where { display: block; padding: 0 .8em; color: #888; font-style: italic; }
pre .no { display: inline-block; min-width: 4em; color: #888; user-select: none; }
.byte { color: #b00; }
#filter { margin: .5em 0; }
pre.side { padding: .2em .5em; white-space: pre-wrap; min-width: 12em; }
)";

// The context of each finding, drawn from its file's data when the file's
// section is first opened, and filtering by code: the page is complete
// without it. The data's lines are HTML already escaped by html_text.
constexpr const char* kScript = R"(
(function () {
  function line(n, html, marked) {
    var e = document.createElement(marked ? 'mark' : 'span');
    e.className = 'line';
    var no = document.createElement('span');
    no.className = 'no';
    no.textContent = n;
    e.appendChild(no);
    if (html === null) e.appendChild(document.createTextNode('(end of file)'));
    else e.insertAdjacentHTML('beforeend', html);
    return e;
  }
  // The lines around `at` of a source or a target, numbered, `at` marked.
  function excerpt(which, count, lines, at) {
    var pre = document.createElement('pre');
    pre.className = 'context ' + which;
    var where = document.createElement('span');
    where.className = 'where';
    where.textContent = which;
    pre.appendChild(where);
    for (var n = Math.max(1, at - 3); n <= Math.min(count, at + 3); n++)
      if (n in lines) pre.appendChild(line(n, lines[n], n === at));
    if (at > count) pre.appendChild(line(at, null, true));
    return pre;
  }
  // A line given as a number is the source's line of that number.
  function numbered(pairs, source) {
    var lines = {};
    pairs.forEach(function (l) { lines[l[0]] = typeof l[1] === 'number' ? source[l[1]] : l[1]; });
    return lines;
  }
  // The data: [line count, [[line or 0, code, severity, target line or 0], ...],
  // [[number, html], ...], the target's line count, [[number, html or the
  // number of the source line shown the same], ...]].
  function context(file) {
    var data = file.querySelector('script.context'), text = file.querySelector('pre.findings');
    if (!data || !text) return;
    var d = JSON.parse(data.textContent), lines = numbered(d[2], {}), target = numbered(d[4], lines);
    var rows = text.innerHTML.split('\n'), list = document.createElement('div');
    list.className = 'findings';
    d[1].forEach(function (f, k) {
      var item = document.createElement('div'), p = document.createElement('p'), at = f[0];
      item.className = 'finding ' + f[2];
      item.dataset.code = f[1];
      p.innerHTML = rows[k];
      item.appendChild(p);
      if (at > 0 || f[3] > 0) {
        // The target's lines, where the user edits, beside the source's.
        var pair = document.createElement('div');
        pair.className = 'pair';
        if (f[3] > 0) pair.appendChild(excerpt('target', d[3], target, f[3]));
        if (at > 0) pair.appendChild(excerpt('source', d[0], lines, at));
        item.appendChild(pair);
      }
      list.appendChild(item);
    });
    text.replaceWith(list);
    show(file);
  }
  document.addEventListener('toggle', function (e) {
    if (e.target.matches && e.target.matches('details.file') && e.target.open) context(e.target);
  }, true);

  // Filtering by code: a file lists its codes, and a drawn file's findings
  // follow the choice.
  var box = document.getElementById('filter');
  var select = document.createElement('select');
  var codes = {};
  document.querySelectorAll('details.file').forEach(function (f) {
    f.dataset.codes.split(' ').forEach(function (c) { codes[c] = true; });
  });
  var all = document.createElement('option'); all.value = ''; all.textContent = 'all codes';
  select.appendChild(all);
  Object.keys(codes).sort().forEach(function (c) {
    var o = document.createElement('option'); o.value = c; o.textContent = c; select.appendChild(o);
  });
  function show(file) {
    file.hidden = select.value !== '' && file.dataset.codes.split(' ').indexOf(select.value) < 0;
    file.querySelectorAll('.finding').forEach(function (f) {
      f.hidden = select.value !== '' && f.dataset.code !== select.value;
    });
  }
  select.addEventListener('change', function () {
    document.querySelectorAll('details.file').forEach(show);
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

// `html` (text html_text escaped) as a JSON string for the page's data.
void json_string(std::string& out, std::string_view html) {
    out += '"';
    for (char ch : html) {
        if (ch == '"' || ch == '\\') out += '\\';
        out += ch == '\t' ? std::string_view("\\t") : std::string_view(&ch, 1);
    }
    out += '"';
}

// A line of context as the page shows it: cut at kShownLine bytes, between
// characters, and a line cut here or by the excerpt ends in an ellipsis.
constexpr std::size_t kShownLine = 120;
std::string shown_line(const SourceExcerpt::Line& line) {
    std::string_view text = line.text;
    bool cut = line.cut;
    if (text.size() > kShownLine) {
        std::size_t end = 0;
        while (end < kShownLine) {
            const std::size_t n = std::max<std::size_t>(1, utf8_length(text, end));
            if (end + n > kShownLine) break;
            end += n;
        }
        text = text.substr(0, end);
        cut = true;
    }
    return html_text(text) + (cut ? " \xe2\x80\xa6" : "");
}

// "[[number, html], ...]": the lines an excerpt kept. A target's line that
// is one of the source's is given as that one's number: most lines of a
// target are, and the page would hold them twice.
void excerpt_data(std::string& out, const SourceExcerpt* excerpt) {
    out += '[';
    if (excerpt)
        for (const SourceExcerpt::Line& line : excerpt->lines) {
            if (&line != &excerpt->lines.front()) out += ',';
            out += '[' + std::to_string(line.number) + ',';
            if (line.same_as)
                out += std::to_string(line.same_as);
            else
                json_string(out, shown_line(line));
            out += ']';
        }
    out += ']';
}

// What the script draws a file's findings and context from when its section
// is opened: [line count, [[line or 0, code, severity, target line or 0],
// ...], [[number, html], ...], the target's line count, [[number, html or
// the number of the source line shown the same], ...]], the lines the
// excerpts kept. Nothing in it can end the element: html_text escapes "<".
void context_data(std::string& out, const std::vector<const Located*>& items,
                  const SourceExcerpt* excerpt, const SourceExcerpt* target) {
    out += "<script type=\"application/json\" class=\"context\">[" +
           std::to_string(excerpt ? excerpt->line_count : 0) + ",[";
    for (const Located* item : items) {
        const Finding& f = *item->finding;
        if (item != items.front()) out += ',';
        out += '[';
        out += std::to_string(f.line && *f.line > 0 ? *f.line : 0);
        out += ',';
        json_string(out, html_text(code_info(f.code).name));
        out += ",\"" + std::string(severity_name(item->severity)) + "\",";
        out += std::to_string(target && item->target_line ? *item->target_line : 0) + ']';
    }
    out += "],";
    excerpt_data(out, excerpt);
    out += ',' + std::to_string(target ? target->line_count : 0) + ',';
    excerpt_data(out, target);
    out += "]</script>\n";
}

// A finding as one line of text: its code, severity, line and message.
void finding(std::string& out, const Located& item) {
    const Finding& f = *item.finding;
    out += html_text(code_info(f.code).name) + " " + std::string(severity_name(item.severity));
    if (f.line) out += ", line " + std::to_string(*f.line);
    if (item.target_line) out += ", target line " + std::to_string(*item.target_line);
    out += ": " + html_text(f.message) + "\n";
}

// "2 errors, 14 warnings".
std::string tally(const std::vector<const Located*>& items) {
    std::size_t n[3] = {};
    for (const Located* item : items) ++n[std::size_t(item->severity)];
    std::string out;
    for (Severity s : {Severity::error, Severity::warning}) {
        if (!n[std::size_t(s)]) continue;
        if (!out.empty()) out += ", ";
        out += std::to_string(n[std::size_t(s)]) + " " + std::string(severity_name(s)) +
               (n[std::size_t(s)] == 1 ? "" : "s");
    }
    return out;
}

// A collapsed section: the file's name and counts, a line of text per
// finding (all a reader without scripts needs), and the data the script
// draws each finding with its context from. Few elements per file, however
// many findings: that is what keeps a large page quick to load.
void file_section(std::string& out, std::string_view path,
                  const std::vector<const Located*>& items) {
    std::vector<DiagnosticCode> seen;
    std::string codes;
    const SourceExcerpt* excerpt = nullptr;
    const SourceExcerpt* target_excerpt = nullptr;
    std::string_view target;
    for (const Located* item : items) {
        const DiagnosticCode code = item->finding->code;
        if (std::find(seen.begin(), seen.end(), code) == seen.end()) {
            if (!seen.empty()) codes += ' ';
            codes += html_text(code_info(code).name);
            seen.push_back(code);
        }
        if (item->excerpt) excerpt = item->excerpt;
        if (item->target_excerpt) target_excerpt = item->target_excerpt;
        if (!item->target.empty()) target = item->target;
    }
    // A renamed file names its target beside its source.
    const std::string renamed =
        target.empty() || target == path
            ? std::string()
            : " <span class=\"target\">\xe2\x86\x92 " + html_text(target) + "</span>";
    out += "<details class=\"file\" data-codes=\"" + codes + "\"><summary><span class=\"path\">" +
           html_text(path) + "</span>" + renamed + " <span class=\"tally\">" + tally(items) +
           "</span></summary>\n<pre class=\"findings\">";
    for (const Located* item : items) finding(out, *item);
    out += "</pre>\n";
    context_data(out, items, excerpt, target_excerpt);
    out += "</details>\n";
}

// Findings, file by file: one collapsed section each, so that a site with
// tens of thousands of findings opens at once. Handed on as it is made.
void findings_section(PieceWriter& out, const ReportModel& model) {
    out.text() +=
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
    if (order.empty()) out.text() += "<p>None: nothing is left to do by hand.</p>\n";
    for (std::string_view path : order) {
        file_section(out.text(), path, by_path[path]);
        out.part();
    }
    out.text() += "</section>\n";
}

// The conflicting hunks of a page, one row each, the three sides in full.
std::string conflict_rows(const Entry& e, const FileOutcome& r) {
    std::string rows;
    for (const ConflictHunk& h : r.conflicts) {
        rows += "<tr><td>" + html_text(e.target) + "</td><td>line " + std::to_string(h.line) +
                "</td><td>";
        rows += h.base_known ? "<pre class=\"side\">" + html_text(h.base) + "</pre>"
                             : std::string("(not told apart)");
        rows += "</td><td><pre class=\"side\">" + html_text(h.ours) +
                "</pre></td><td><pre class=\"side\">" + html_text(h.theirs) + "</pre></td></tr>\n";
    }
    return rows;
}

// Rewritten references, renames, and the files left out or kept.
std::string list_sections(const ReportModel& model) {
    std::string rewrites, renames, failed, skipped, excluded, stale, conflicts;
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
        conflicts += conflict_rows(e, r);
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
    if (!conflicts.empty())
        conflicts.insert(0,
                         "<tr><th>target</th><th>at</th><th>last conversion</th><th>target "
                         "(edited)</th><th>new conversion</th></tr>\n");
    section("conflicts", "Merge conflicts (target kept)", conflicts);
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

Error html_report(const ReportModel& model, int status, const PieceSink& put) {
    PieceWriter out(put);
    out.text() += head(model, status) + summary_section(model);
    findings_section(out, model);
    out.text() +=
        list_sections(model) + "<script>" + std::string(kScript) + "</script>\n</body>\n</html>\n";
    return out.finish();
}

std::string html_report(const ReportModel& model, int status) {
    std::string page;
    // Appending cannot fail.
    static_cast<void>(html_report(model, status, [&](std::string_view piece) {
        page += piece;
        return Error();
    }));
    return page;
}

}  // namespace tvconv::tree
