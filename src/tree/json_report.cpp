#include "tree/json_report.h"

#include <functional>
#include <nlohmann/json.hpp>

#include "tree/escape.h"

namespace tvconv::tree {

using json = nlohmann::ordered_json;

namespace {

// JSON strings must be UTF-8, but names and messages are bytes. A string
// that is not UTF-8 goes into the document as a placeholder that no name can
// be (it holds NUL), and the dump puts in its own escape, each byte that is
// not part of a UTF-8 sequence as a lone surrogate U+DC80 to U+DCFF, as
// Python's surrogateescape does: reversible, and distinct from every valid
// name.
class JsonBytes {
  public:
    json operator()(std::string_view s) {
        if (is_utf8(s)) return std::string(s);
        raw_.emplace_back(s);
        std::string placeholder(1, '\0');
        placeholder += std::to_string(raw_.size() - 1);
        placeholder += '\0';
        return placeholder;
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
            out += '"';
            escape_to(out, raw_[std::stoul(text.substr(digits, end - digits))], json_policy());
            out += '"';
            from = end + 7;
        }
        out.append(text, from);
        return out + "\n";
    }

  private:
    std::vector<std::string> raw_;
};

json file_of(const Entry& e, const FileOutcome& r, JsonBytes& text) {
    json f{{"path", text(e.path)}, {"kind", kind_name(e.kind)}};
    if (e.kind == Kind::kTemplate || e.kind == Kind::kFile) f["target"] = text(e.target);
    f["status"] = file_status_name(r.status);
    f["action"] = action_name(r.action);
    if (!r.reason.empty()) f["reason"] = text(r.reason);
    if (e.kind == Kind::kTemplate) f["diagnostics"] = r.findings.size();
    if (!r.conflicts.empty()) {
        json hunks = json::array();
        for (const ConflictHunk& h : r.conflicts) {
            json hunk{{"line", h.line}};
            if (h.base_known) hunk["base"] = text(h.base);
            hunk["ours"] = text(h.ours);
            hunk["theirs"] = text(h.theirs);
            hunks.push_back(std::move(hunk));
        }
        f["conflicts"] = std::move(hunks);
    }
    return f;
}

json finding_of(const Located& d, JsonBytes& text) {
    return json{{"path", text(d.path)},
                {"line", d.finding->line ? json(*d.finding->line) : json(nullptr)},
                {"code", code_name(d.finding->code)},
                {"severity", severity_name(d.severity)},
                {"message", text(d.finding->message)},
                {"target_path", d.target.empty() ? json(nullptr) : text(d.target)},
                {"target_line", d.target_line ? json(*d.target_line) : json(nullptr)}};
}

// An element of a top-level list as dump(2) writes it there, two levels
// down (`text` made its strings): strings hold no raw line feed, so each
// line is indented.
void element(std::string& out, const json& j, const JsonBytes& text, bool first) {
    std::string dumped = text.dump(j);
    dumped.pop_back();  // the final line feed
    out += first ? "\n    " : ",\n    ";
    for (char ch : dumped) {
        out += ch;
        if (ch == '\n') out += "    ";
    }
}

// The long lists, the files and the findings, are put into the dump of the
// rest (where they are empty) one element at a time, as the dump of the
// whole would have written them. `elements` says whether it wrote any.
void splice(PieceWriter& out, std::string_view frame, std::string_view key, std::size_t& from,
            const std::function<bool()>& elements) {
    const std::string empty = "\n  \"" + std::string(key) + "\": []";
    const std::size_t close = frame.find(empty, from) + empty.size() - 1;  // at "]"
    out.text().append(frame, from, close - from);
    if (elements()) out.text() += "\n  ";
    from = close;
}

}  // namespace

std::string json_text(const std::string& bytes) {
    JsonBytes text;
    std::string dumped = text.dump(text(bytes));
    dumped.pop_back();  // the final line feed
    return dumped;
}

Error json_report(const ReportModel& model, int status, const PieceSink& put) {
    const Options& options = model.options();
    JsonBytes text;
    json renames = json::array(), stale = json::array(), summary = json::object();
    for (const FileRow& row : model.rows())
        if (row.outcome->status != FileStatus::kDone && is_renamed(*row.entry, *row.outcome))
            renames.push_back(
                json{{"from", text(row.entry->path)}, {"to", text(row.entry->target)}});
    for (const Stale& s : model.stale())
        stale.push_back(
            json{{"target", text(s.target)},
                 {"source", text(s.source)},
                 {"reason", s.source_exists ? "no longer converted" : "source deleted"}});
    for (std::size_t i = 0; i < kCountCount; ++i)
        summary[kCountInfo[i].key] = model.count(Count(i));

    json report{
        {"format_version", 1},
        {"tool", "tvconv-tree " TVCONV_VERSION},
        {"source", text(options.source)},
        {"target", options.target.empty() ? json(nullptr) : text(options.target)},
        {"check", options.check},
        {"interrupted", model.interrupted()},
        {"exit_status", status},
        {"summary", summary},
        {"files", json::array()},
        {"renames", renames},
        {"stale", stale},
        {"diagnostics", json::array()},
    };
    const std::string frame = text.dump(report);
    PieceWriter out(put);
    std::size_t from = 0;
    splice(out, frame, "files", from, [&] {
        bool first = true;
        for (const FileRow& row : model.rows()) {
            // Directories appear only when they failed.
            if (row.outcome->status == FileStatus::kDone) continue;
            JsonBytes own;
            element(out.text(), file_of(*row.entry, *row.outcome, own), own, first);
            first = false;
            out.part();
        }
        return !first;
    });
    splice(out, frame, "diagnostics", from, [&] {
        bool first = true;
        for (const Located& d : model.findings()) {
            JsonBytes own;
            element(out.text(), finding_of(d, own), own, first);
            first = false;
            out.part();
        }
        return !first;
    });
    out.text().append(frame, from);
    return out.finish();
}

}  // namespace tvconv::tree
