#include "tree/sarif.h"

#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>

#include "tree/names.h"

namespace tvconv::tree {

using json = nlohmann::ordered_json;

namespace {

// A path as a URI reference: every byte but the unreserved ones and "/"
// percent-encoded, so that any name, UTF-8 or not, maps back to its bytes.
std::string uri_path(const std::string& path) {
    std::string out;
    char buf[4];
    for (unsigned char c : path) {
        bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                     c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
        if (plain) {
            out += char(c);
        } else {
            std::snprintf(buf, sizeof buf, "%%%02X", c);
            out += buf;
        }
    }
    return out;
}

// SARIF's strings are Unicode text: a byte that is not UTF-8 is shown as
// \xXX, as on the terminal.
std::string unicode_text(const std::string& s) {
    std::string out;
    char buf[8];
    for (std::size_t i = 0; i < s.size();) {
        std::size_t n = utf8_length(s, i);
        if (n == 0) {
            std::snprintf(buf, sizeof buf, "\\x%02x", static_cast<unsigned char>(s[i]));
            out += buf;
            ++i;
        } else {
            out.append(s, i, n);
            i += n;
        }
    }
    return out;
}

}  // namespace

std::string sarif_report(const RunReport& run, const std::string& source_root) {
    json rules = json::array();
    std::map<std::string, std::size_t> rule_index;
    for (std::size_t i = 0; i < kCodeHelpCount; ++i) {
        const CodeHelp& c = kCodeHelp[i];
        rule_index[c.code] = i;
        rules.push_back(json{{"id", c.code},
                             {"shortDescription", {{"text", c.help}}},
                             {"help", {{"text", c.help}}},
                             {"defaultConfiguration", {{"level", severity_of(c.code)}}}});
    }

    json results = json::array();
    for (const Item& item : report_items(run)) {
        json location{{"physicalLocation",
                       {{"artifactLocation", {{"uri", uri_path(item.path)}, {"uriBaseId", "SRCROOT"}}}}}};
        if (item.line && *item.line > 0)
            location["physicalLocation"]["region"] = json{{"startLine", *item.line}};
        json result{{"ruleId", item.code}};
        if (auto it = rule_index.find(item.code); it != rule_index.end())
            result["ruleIndex"] = it->second;
        result["level"] = item.severity;
        result["message"] = json{{"text", unicode_text(item.message)}};
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
                     {"originalUriBaseIds", {{"SRCROOT", {{"uri", "file://" + uri_path(root)}}}}},
                     {"results", results},
                 }})},
    };
    return log.dump(2) + "\n";
}

}  // namespace tvconv::tree
