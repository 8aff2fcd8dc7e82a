#include "tree/converter.h"

#include <optional>

#include "core/convert.h"
#include "tree/content_hash.h"
#include "tree/encoding.h"
#include "tree/names.h"
#include "tree/paths.h"
#include "tree/plan.h"

namespace tvconv::tree {

std::vector<Finding> findings_of(std::string_view bytes,
                                 const std::vector<Diagnostic>& diagnostics) {
    std::vector<Finding> out = encoding_warnings(bytes);
    for (const Diagnostic& d : diagnostics) {
        out.push_back(Finding::at(d.code, d.line, d.message_without_line()));
        out.back().output_line = d.output_line;
    }
    return out;
}

Converter::Converter(const Options& options, const std::vector<Entry>& entries)
    : options_(options) {
    std::string renamed;
    for (const Entry& e : entries) {
        if (e.kind != Kind::kTemplate || !e.problem.empty()) continue;
        std::string name = base_name(e.path);
        if (converted_name(name) != name) {
            renamed_.insert(name);
            renamed_paths_.insert(e.path);
        }
    }
    for (const std::string& name : renamed_) renamed += name + '\0';
    // Whether a reference leads to a file depends on where those files are.
    renamed += '\0';
    for (const std::string& path : renamed_paths_) renamed += path + '\0';
    using namespace std::string_literals;
    template_inputs_ = content_hash("template\0"s + TVCONV_VERSION + "\0"s +
                                    (options_.keep_references ? "keep\0"s : "rewrite\0"s) +
                                    (options_.keep_references ? ""s : renamed));
    copy_inputs_ = content_hash("copy");
}

std::optional<std::string> referenced_path(std::string_view page, std::string_view reference) {
    std::vector<std::string_view> parts;
    auto add = [&](std::string_view path) {
        while (!path.empty()) {
            const std::size_t cut = std::min(path.find_first_of("/\\"), path.size());
            std::string_view part = path.substr(0, cut);
            path.remove_prefix(std::min(cut + 1, path.size()));
            if (part == "..") {
                if (parts.empty()) return false;
                parts.pop_back();
            } else if (!part.empty() && part != ".") {
                parts.push_back(part);
            }
        }
        return true;
    };
    const bool rooted = !reference.empty() && (reference[0] == '/' || reference[0] == '\\');
    if (!rooted) {
        const std::size_t slash = page.rfind('/');
        add(page.substr(0, slash == std::string_view::npos ? 0 : slash));
    }
    if (!add(reference)) return std::nullopt;
    std::string out;
    for (std::string_view part : parts) (out.empty() ? out : out += '/') += part;
    return out;
}

namespace {

// Why a conversion that stopped left nothing to write.
std::string failure(const tvconv::Result& converted) {
    switch (converted.status) {
        case tvconv::Status::accepted:
            break;
        case tvconv::Status::syntax_error:
            return "syntax error";
        case tvconv::Status::stack_overflow:
            return "nested too deeply (parser stack overflow)";
        case tvconv::Status::scanner_fatal:
            return "cannot read: " + converted.diagnostics.back().message;
        case tvconv::Status::out_of_memory:
            return "out of memory";
    }
    return {};
}

}  // namespace

Converted Converter::operator()(const Entry& e, std::string_view bytes) const {
    ConvertOptions convert_options;
    // The arguments rewritten, in the order of their notes.
    std::vector<std::string> references;
    if (!options_.keep_references) {
        convert_options.renamed_macro_file =
            [&](std::string_view name, std::string_view reference) -> std::optional<std::string> {
            if (!renamed_.count(name)) return std::nullopt;
            references.emplace_back(reference);
            return converted_name(name);
        };
    }
    tvconv::Result converted = convert(bytes, convert_options);
    Converted c;
    FileOutcome& r = c.outcome;
    r.findings = findings_of(bytes, converted.diagnostics);
    check_references(e, references, r.findings);
    // What the reports need of the source, kept now: none reads it again.
    if (!options_.html.empty() && wants_excerpt(r.findings))
        r.excerpt = excerpt_of(bytes, r.findings);
    if (converted.status != tvconv::Status::accepted) {
        r.reason = failure(converted);
        return c;
    }
    r.status = converted_status(r.findings);
    c.output = converted.output.str();
    if (r.excerpt) r.target_excerpt = target_excerpt_of(c.output, r.findings, *r.excerpt);
    return c;
}

void Converter::check_references(const Entry& e, const std::vector<std::string>& references,
                                 std::vector<Finding>& findings) const {
    // Every rewritten reference has its note, in the same order.
    std::size_t next = 0;
    for (std::size_t i = 0; i < findings.size() && next < references.size(); ++i) {
        if (findings[i].code != DiagnosticCode::reference_rewritten) continue;
        const std::string* reference = &references[next++];
        std::optional<std::string> path = referenced_path(e.path, *reference);
        if (path && renamed_paths_.count(*path)) continue;
        const bool rooted = (*reference)[0] == '/' || (*reference)[0] == '\\';
        Finding warning = Finding::at(
            DiagnosticCode::reference_not_found, findings[i].line,
            "reference not found: " + *reference + " leads to no file of the site (from " +
                (rooted ? "its root" : "the page's folder") + "); rewritten all the same");
        warning.output_line = findings[i].output_line;
        ++i;
        findings.insert(findings.begin() + std::ptrdiff_t(i), std::move(warning));
    }
}

}  // namespace tvconv::tree
