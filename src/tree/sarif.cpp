#include "tree/sarif.h"

#include <nlohmann/json.hpp>

#include "tree/escape.h"
#include "tree/paths.h"

namespace tvconv::tree {

using json = nlohmann::ordered_json;

namespace {

// A path under a base id, at `line` when there is one.
json location_of(std::string_view path, const char* base, std::optional<int> line) {
    // A path as a URI reference, every byte but the unreserved ones and
    // "/" percent-encoded, so that any name maps back to its bytes.
    json location{
        {"physicalLocation",
         {{"artifactLocation", {{"uri", escape(path, uri_policy())}, {"uriBaseId", base}}}}}};
    if (line && *line > 0) location["physicalLocation"]["region"] = json{{"startLine", *line}};
    return location;
}

// A finding is located where the user edits it: in the target, when the log
// knows TARGETROOT and the file has one, with its source as a related
// location; else in the source.
json result_of(const Located& item, bool target_root) {
    const Finding& f = *item.finding;
    const bool in_target = target_root && !item.target.empty();
    json location = in_target ? location_of(item.target, "TARGETROOT", item.target_line)
                              : location_of(item.path, "SRCROOT", f.line);
    const DiagnosticCode code = f.code;
    json result{{"ruleId", code_name(code)}};
    result["ruleIndex"] = std::size_t(code);
    result["level"] = severity_name(item.severity);
    // SARIF's strings are Unicode text: a byte that is not UTF-8 is shown
    // as \xXX, as on the terminal.
    result["message"] = json{{"text", escape(f.message, unicode_policy())}};
    result["locations"] = json::array({location});
    if (in_target) {
        json source = location_of(item.path, "SRCROOT", f.line);
        source["id"] = 1;
        source["message"] = json{{"text", "source"}};
        result["relatedLocations"] = json::array({source});
    }
    return result;
}

// The resolved TARGET, or empty when there is none to point into (--check
// without one, or one not made yet).
std::string target_root_of(const ReportModel& model) {
    const std::string& target = model.options().target;
    return target.empty() ? std::string() : real_path(target);
}

// `j` as nlohmann's dump(2) writes it `depth` levels down: the results are
// dumped one at a time, never as one document.
void dump_at(std::string& out, const json& j, int depth) {
    const std::string indent(std::size_t(depth) * 2, ' ');
    const std::string text = j.dump(2);
    out += indent;
    for (char ch : text) {
        out += ch;
        if (ch == '\n') out += indent;  // strings hold no raw line feed
    }
}

std::string left_out_text(const SarifSelection& s) {
    std::string what;
    for (Severity level : {Severity::error, Severity::warning, Severity::note}) {
        const std::size_t n = s.left_out[std::size_t(level)];
        if (!n) continue;
        if (!what.empty()) what += ", ";
        what += std::to_string(n) + " " + std::string(severity_name(level)) + (n == 1 ? "" : "s");
    }
    return "the SARIF log holds " + std::to_string(s.kept_count) + " of " +
           std::to_string(s.kept_count + s.left_out_count()) +
           " findings, the most severe first; left out: " + what;
}

// What the run adds when findings were left out: their count by level in
// its properties, and a notification that a viewer shows.
void add_left_out(json& run, const SarifSelection& s) {
    json counts = json::object();
    for (Severity level : {Severity::error, Severity::warning, Severity::note})
        counts[severity_name(level)] = s.left_out[std::size_t(level)];
    run["invocations"] = json::array({json{
        {"executionSuccessful", true},
        {"toolExecutionNotifications",
         json::array({json{
             {"descriptor", {{"id", "results-left-out"}}},
             {"level", "warning"},
             {"message", {{"text", left_out_text(s) + "; the JSON report has them all"}}}}})}}});
    run["properties"] = json{{"resultsLeftOut", counts}};
}

}  // namespace

SarifSelection sarif_selection(const ReportModel& model, const SarifLimits& limits) {
    const std::vector<Located>& all = model.findings();
    const bool target_root = !target_root_of(model).empty();
    SarifSelection s;
    s.kept.assign(all.size(), 0);
    std::size_t bytes = 0;
    for (Severity level : {Severity::error, Severity::warning, Severity::note})
        for (std::size_t i = 0; i < all.size(); ++i) {
            if (all[i].severity != level) continue;
            // Once one result is left out, every one after it is too: the
            // log never holds a note in place of a warning.
            const std::size_t size =
                s.left_out_count() ? 0 : result_of(all[i], target_root).dump(2).size();
            if (s.left_out_count() || s.kept_count == limits.results ||
                bytes + size > limits.bytes) {
                ++s.left_out[std::size_t(level)];
                continue;
            }
            bytes += size;
            s.kept[i] = 1;
            ++s.kept_count;
        }
    return s;
}

std::string sarif_left_out_line(const SarifSelection& selection) {
    if (!selection.left_out_count()) return {};
    return "tvconv-tree: " + left_out_text(selection) + " (the JSON report has them all)\n";
}

std::string sarif_report(const ReportModel& model, const std::string& source_root,
                         const SarifSelection& selection) {
    // One rule per code of the table, in its order: a result's ruleIndex.
    json rules = json::array();
    for (const CodeInfo& c : kCodes)
        rules.push_back(json{{"id", c.name},
                             {"shortDescription", {{"text", c.help}}},
                             {"help", {{"text", c.help}}},
                             {"defaultConfiguration", {{"level", severity_name(c.severity)}}}});
    auto as_base = [](std::string root) {
        if (root.empty() || root.back() != '/') root += '/';
        return json{{"uri", "file://" + escape(root, uri_policy())}};
    };
    json bases{{"SRCROOT", as_base(source_root)}};
    const std::string target_root = target_root_of(model);
    if (!target_root.empty()) bases["TARGETROOT"] = as_base(target_root);
    json run{{"tool",
              {{"driver",
                {{"name", "tvconv-tree"},
                 {"version", TVCONV_VERSION},
                 {"semanticVersion", TVCONV_VERSION},
                 {"rules", rules}}}}},
             {"originalUriBaseIds", bases},
             {"results", json::array()}};
    if (selection.left_out_count()) add_left_out(run, selection);
    json log{{"$schema", "https://json.schemastore.org/sarif-2.1.0.json"},
             {"version", "2.1.0"},
             {"runs", json::array({run})}};

    // The document around an empty list of results, and the results put in
    // one at a time, as one dump of the whole would have written them.
    const std::string frame = log.dump(2);
    constexpr std::string_view kEmpty = "\"results\": []";
    const std::size_t at = frame.find(kEmpty);
    std::string out = frame.substr(0, at + kEmpty.size() - 1);
    const std::vector<Located>& all = model.findings();
    bool first = true;
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (!selection.kept[i]) continue;
        out += first ? "\n" : ",\n";
        first = false;
        dump_at(out, result_of(all[i], !target_root.empty()), 4);
    }
    if (!first) out += "\n      ";
    out.append(frame, at + kEmpty.size() - 1);
    return out + "\n";
}

}  // namespace tvconv::tree
