#include "tree/html.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string_view>
#include <vector>

#include "tree/names.h"

namespace tvconv::tree {

namespace {

constexpr std::size_t kContextLines = 3;
// A context line longer than this is cut: a template may be one 50 MB line.
constexpr std::size_t kMaxShownLine = 400;

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

// The lines of a source, without their line feeds; a CR before a line feed is
// dropped too, or every line of a CRLF template would end in a shown \x0d.
std::vector<std::string_view> split_lines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (end < text.size() && !line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::string percent(std::size_t part, std::size_t whole) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%.3f", whole ? 100.0 * double(part) / double(whole) : 0.0);
    return buf;
}

// One line of context. A long line is cut at a character boundary, so that
// the cut itself does not show as stray bytes.
std::string context_line(std::size_t number, bool marked, std::string_view text) {
    bool cut = text.size() > kMaxShownLine;
    if (cut) {
        std::size_t end = kMaxShownLine;
        for (std::size_t back = 0; back < 3 && end > 0 && (text[end] & 0xc0) == 0x80; ++back)
            --end;
        if ((text[end] & 0xc0) == 0x80) end = kMaxShownLine;  // not UTF-8 anyway
        text = text.substr(0, end);
    }
    const char* tag = marked ? "mark" : "span";
    return std::string("<") + tag + " class=\"line\"><span class=\"no\">" + std::to_string(number) +
           "</span>" + html_text(text) + (cut ? " \xe2\x80\xa6" : "") + "</" + tag + ">";
}

const char* help_of(const std::string& code) {
    for (std::size_t i = 0; i < kCodeHelpCount; ++i)
        if (code == kCodeHelp[i].code) return kCodeHelp[i].help;
    return nullptr;
}

std::array<std::uint8_t, 32> sha256(std::string_view data) {
    static constexpr std::uint32_t k[64] = {
        0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4,
        0xab1c5ed5, 0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe,
        0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f,
        0x4a7484aa, 0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7,
        0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc,
        0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b,
        0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116,
        0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
        0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7,
        0xc67178f2};
    std::uint32_t h[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                          0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    auto rotr = [](std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); };

    // The message, a 1 bit, zeros, and its length in bits: whole 64-byte blocks.
    std::string m(data);
    std::uint64_t bits = std::uint64_t(data.size()) * 8;
    m += '\x80';
    while (m.size() % 64 != 56) m += '\0';
    for (int i = 7; i >= 0; --i) m += char(bits >> (8 * i));

    for (std::size_t block = 0; block < m.size(); block += 64) {
        std::uint32_t w[64];
        for (int i = 0; i < 16; ++i) {
            const auto* b = reinterpret_cast<const unsigned char*>(m.data() + block + 4 * i);
            w[i] = std::uint32_t(b[0]) << 24 | std::uint32_t(b[1]) << 16 |
                   std::uint32_t(b[2]) << 8 | b[3];
        }
        for (int i = 16; i < 64; ++i) {
            std::uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
            std::uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6],
                      hh = h[7];
        for (int i = 0; i < 64; ++i) {
            std::uint32_t t1 = hh + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) +
                               ((e & f) ^ (~e & g)) + k[i] + w[i];
            std::uint32_t t2 =
                (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
            hh = g, g = f, f = e, e = d + t1, d = c, c = b, b = a, a = t1 + t2;
        }
        h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e, h[5] += f, h[6] += g, h[7] += hh;
    }
    std::array<std::uint8_t, 32> out;
    for (int i = 0; i < 32; ++i) out[i] = std::uint8_t(h[i / 4] >> (24 - 8 * (i % 4)));
    return out;
}

std::string base64(const std::uint8_t* p, std::size_t n) {
    static constexpr char digits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < n; i += 3) {
        std::uint32_t v = std::uint32_t(p[i]) << 16;
        if (i + 1 < n) v |= std::uint32_t(p[i + 1]) << 8;
        if (i + 2 < n) v |= p[i + 2];
        out += digits[v >> 18 & 63];
        out += digits[v >> 12 & 63];
        out += i + 1 < n ? digits[v >> 6 & 63] : '=';
        out += i + 2 < n ? digits[v & 63] : '=';
    }
    return out;
}

}  // namespace

std::string csp_hash(std::string_view script) {
    std::array<std::uint8_t, 32> digest = sha256(script);
    return "sha256-" + base64(digest.data(), digest.size());
}

std::string html_text(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    char buf[40];
    for (std::size_t i = 0; i < s.size();) {
        unsigned char c = s[i];
        std::size_t n = utf8_length(s, i);
        if (n == 0 || (n == 1 && ((c < 0x20 && c != '\t') || c == 0x7f))) {
            std::snprintf(buf, sizeof buf, "<span class=\"byte\">\\x%02x</span>", c);
            out += buf;
            ++i;
            continue;
        }
        if (n > 1) {
            // C1 controls, and what would reorder the rest of a quoted line.
            char32_t cp = utf8_decode(s, i, n);
            if (cp < 0xa0 || reorders_text(cp)) {
                std::snprintf(buf, sizeof buf, "<span class=\"byte\">\\u%04x</span>",
                              static_cast<unsigned>(cp));
                out += buf;
                i += n;
                continue;
            }
        }
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default: out.append(s.substr(i, n));
        }
        i += n;
    }
    return out;
}

std::string html_report(const RunReport& run, int status, const SourceReader& read_source) {
    const Options& options = run.options;
    Summary c(run);
    std::vector<Item> items = report_items(run);

    std::string out = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
    // Nothing is loaded from anywhere, and no script runs but ours: the page
    // quotes templates, which are HTML themselves.
    out += "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
           "style-src 'unsafe-inline'; script-src '" +
           csp_hash(kScript) + "'; base-uri 'none'; form-action 'none'\">\n";
    out += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
    out += "<title>tvconv-tree report: " + html_text(options.source) + "</title>\n";
    out += "<style>" + std::string(kStyle) + "</style>\n</head>\n<body>\n";
    out += "<h1>Migration report</h1>\n<p class=\"meta\">Source <code>" + html_text(options.source) +
           "</code>, target <code>" +
           (options.target.empty() ? std::string("(none)") : html_text(options.target)) +
           "</code>. tvconv-tree " TVCONV_VERSION ", exit status <b id=\"exit-status\">" +
           std::to_string(status) + "</b>" + (options.check ? " (check only: nothing written)" : "") +
           (run.interrupted ? " (interrupted)" : "") + ".</p>\n";

    // The summary: numbers, and a bar of the statuses of all files. Each
    // number's key is the JSON report's.
    struct Part {
        const char* key;
        const char* label;
        std::size_t n;
    };
    const Part parts[] = {
        {"converted", "converted cleanly", c.of(Status::kConverted)},
        {"manual", "converted with manual edits left", c.of(Status::kManual)},
        {"edited", "edited by hand, not overwritten", c.of(Status::kEdited)},
        {"failed", "failed", c.failed},
        {"copied", "copied", c.of(Status::kCopied)},
        {"not_copied", "not copied (--no-copy)", c.of(Status::kNotCopied)},
        {"skipped", "skipped", c.of(Status::kSkipped)},
    };
    auto css_class = [](const char* key) {
        std::string cls = key;
        for (char& ch : cls)
            if (ch == '_') ch = '-';
        return cls;
    };
    std::size_t whole = 0;
    for (const Part& p : parts) whole += p.n;
    out += "<section id=\"summary\">\n<h2>Summary</h2>\n<div class=\"bar\" role=\"img\" "
           "aria-label=\"files by status\">";
    for (const Part& p : parts)
        if (p.n)
            out += "<span class=\"" + css_class(p.key) + "\" data-key=\"" + p.key +
                   "\" style=\"width:" + percent(p.n, whole) + "%\" title=\"" + p.label + ": " +
                   std::to_string(p.n) + "\"></span>";
    out += "</div>\n<table class=\"counts\">\n";
    auto count_row = [&](const char* key, const std::string& label, std::size_t n) {
        out += "<tr><td>" + label + "</td><td class=\"n\" data-key=\"" + key + "\">" +
               std::to_string(n) + "</td></tr>\n";
    };
    count_row("templates", "templates", c.templates);
    count_row("other_files", "other files", c.files);
    for (const Part& p : parts)
        count_row(p.key, "<span class=\"key " + css_class(p.key) + "\"></span>" + p.label, p.n);
    count_row("renamed", "renamed", c.renamed);
    count_row("references_rewritten", "references rewritten", c.rewritten);
    count_row("written", "written", c.written);
    count_row("unchanged", "unchanged since the last run", c.unchanged);
    count_row("excluded", "excluded", c.of(Status::kExcluded));
    count_row("stale", "stale", run.stale.size());
    out += "</table>\n</section>\n";

    // Findings, file by file, with the source lines around each.
    out += "<section id=\"findings\">\n<h2>Files that need attention</h2>\n<div id=\"filter\"></div>\n";
    std::map<std::string, std::vector<const Item*>> by_path;
    std::vector<std::string> order;
    for (const Item& item : items) {
        if (item.severity == "note") continue;
        if (!by_path.count(item.path)) order.push_back(item.path);
        by_path[item.path].push_back(&item);
    }
    if (order.empty()) out += "<p>None: nothing is left to do by hand.</p>\n";
    for (const std::string& path : order) {
        out += "<article class=\"file\">\n<h3>" + html_text(path) + "</h3>\n";
        // Read and split once per file: a file may hold thousands of findings.
        std::optional<std::string> source;
        std::vector<std::string_view> lines;
        bool read = false;
        for (const Item* item : by_path[path]) {
            const std::string code = html_text(item->code);
            out += "<div class=\"finding " + item->severity + "\" data-code=\"" + code +
                   "\">\n<p><code class=\"code\"";
            if (const char* help = help_of(item->code))
                out += " title=\"" + html_text(help) + "\"";
            out += ">" + code + "</code> " + item->severity;
            if (item->line) out += ", line " + std::to_string(*item->line);
            out += ": " + html_text(item->message) + "</p>\n";
            if (item->line && *item->line > 0) {
                if (!read) {
                    source = read_source(path);
                    if (source) lines = split_lines(*source);
                    read = true;
                }
                if (source) {
                    std::size_t at = std::size_t(*item->line);
                    std::size_t first = at > kContextLines ? at - kContextLines : 1;
                    std::size_t last = std::min(lines.size(), at + kContextLines);
                    out += "<pre class=\"context\">";
                    for (std::size_t n = first; n <= last; ++n)
                        out += context_line(n, n == at, lines[n - 1]);
                    // A finding at the end of the file, past its last line.
                    if (at > lines.size())
                        out += "<mark class=\"line\"><span class=\"no\">" + std::to_string(at) +
                               "</span>(end of file)</mark>";
                    out += "</pre>\n";
                }
            }
            out += "</div>\n";
        }
        out += "</article>\n";
    }
    out += "</section>\n";

    // Rewritten references, renames, and the files left out or kept.
    auto list_section = [&](const char* id, const char* title, const std::string& rows) {
        if (rows.empty()) return;
        out += "<section id=\"" + std::string(id) + "\">\n<h2>" + title + "</h2>\n<table>\n" +
               rows + "</table>\n</section>\n";
    };
    std::string rewrites, renames, failed, skipped, excluded, stale;
    for (const Item& item : items)
        if (item.code == "reference-rewritten")
            rewrites += "<tr><td>" + html_text(item.path) + "</td><td>line " +
                        std::to_string(item.line.value_or(0)) + "</td><td>" +
                        html_text(item.message) + "</td></tr>\n";
    for (std::size_t i = 0; i < run.entries.size(); ++i) {
        if (!run.finished[i]) continue;
        const Entry& e = run.entries[i];
        const Result& r = run.results[i];
        std::string row = "<tr><td>" + html_text(e.path) + "</td><td>" + html_text(r.reason) +
                          "</td></tr>\n";
        if (is_renamed(e, r))
            renames += "<tr><td>" + html_text(e.path) + "</td><td>&rarr;</td><td>" +
                       html_text(e.target) + "</td></tr>\n";
        if (r.status == Status::kFailed && !r.quiet) failed += row;
        if (r.status == Status::kSkipped) skipped += row;
        if (r.status == Status::kExcluded) excluded += row;
    }
    for (const Stale& s : run.stale)
        stale += "<tr><td>" + html_text(s.target) + "</td><td>from " + html_text(s.source) +
                 "</td></tr>\n";
    list_section("rewrites", "References rewritten", rewrites);
    list_section("renames", "Renamed macro files", renames);
    list_section("failed", "Failed", failed);
    list_section("skipped", "Skipped", skipped);
    list_section("excluded", "Excluded", excluded);
    list_section("stale", "Stale targets (source gone or no longer converted; target kept)", stale);

    out += "<script>" + std::string(kScript) + "</script>\n</body>\n</html>\n";
    return out;
}

}  // namespace tvconv::tree
