#include "tree/sarif.h"

#include <nlohmann/json.hpp>

#include "tree/escape.h"

namespace tvconv::tree {

using json = nlohmann::ordered_json;

std::string sarif_report(const ReportModel& model, const std::string& source_root) {
    // One rule per code of the table, in its order: a result's ruleIndex.
    json rules = json::array();
    for (const CodeInfo& c : kCodes)
        rules.push_back(json{{"id", c.name},
                             {"shortDescription", {{"text", c.help}}},
                             {"help", {{"text", c.help}}},
                             {"defaultConfiguration", {{"level", severity_name(c.severity)}}}});

    json results = json::array();
    for (const Located& item : model.findings()) {
        // A path as a URI reference, every byte but the unreserved ones and
        // "/" percent-encoded, so that any name maps back to its bytes.
        json location{{"physicalLocation",
                       {{"artifactLocation",
                         {{"uri", escape(item.path, uri_policy())}, {"uriBaseId", "SRCROOT"}}}}}};
        const Finding& f = *item.finding;
        if (f.line && *f.line > 0)
            location["physicalLocation"]["region"] = json{{"startLine", *f.line}};
        const DiagnosticCode code = f.code;
        json result{{"ruleId", code_name(code)}};
        result["ruleIndex"] = std::size_t(code);
        result["level"] = severity_name(item.severity);
        // SARIF's strings are Unicode text: a byte that is not UTF-8 is shown
        // as \xXX, as on the terminal.
        result["message"] = json{{"text", escape(f.message, unicode_policy())}};
        result["locations"] = json::array({location});
        results.push_back(std::move(result));
    }

    std::string root = source_root;
    if (root.empty() || root.back() != '/') root += '/';
    json log{
        {"$schema", "https://json.schemastore.org/sarif-2.1.0.json"},
        {"version", "2.1.0"},
        {"runs", json::array({json{
                     {"tool",
                      {{"driver",
                        {{"name", "tvconv-tree"},
                         {"version", TVCONV_VERSION},
                         {"semanticVersion", TVCONV_VERSION},
                         {"rules", rules}}}}},
                     {"originalUriBaseIds",
                      {{"SRCROOT", {{"uri", "file://" + escape(root, uri_policy())}}}}},
                     {"results", results},
                 }})},
    };
    return log.dump(2) + "\n";
}

}  // namespace tvconv::tree
