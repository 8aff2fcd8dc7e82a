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
    for (const Diagnostic& d : diagnostics)
        out.push_back(Finding::at(d.code, d.line, d.message_without_line()));
    return out;
}

Converter::Converter(const Options& options, const std::vector<Entry>& entries)
    : options_(options) {
    std::string renamed;
    for (const Entry& e : entries) {
        if (e.kind != Kind::kTemplate || !e.problem.empty()) continue;
        std::string name = base_name(e.path);
        if (converted_name(name) != name) renamed_.insert(name);
    }
    for (const std::string& name : renamed_) renamed += name + '\0';
    using namespace std::string_literals;
    template_inputs_ = content_hash("template\0"s + TVCONV_VERSION + "\0"s +
                                    (options_.keep_references ? "keep\0"s : "rewrite\0"s) +
                                    (options_.keep_references ? ""s : renamed));
    copy_inputs_ = content_hash("copy");
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

Converted Converter::operator()(const Entry&, std::string_view bytes) const {
    ConvertOptions convert_options;
    if (!options_.keep_references) {
        convert_options.renamed_macro_file =
            [this](std::string_view name) -> std::optional<std::string> {
            if (!renamed_.count(name)) return std::nullopt;
            return converted_name(name);
        };
    }
    tvconv::Result converted = convert(bytes, convert_options);
    Converted c;
    FileOutcome& r = c.outcome;
    r.findings = findings_of(bytes, converted.diagnostics);
    // What the reports need of the source, kept now: none reads it again.
    if (!options_.html.empty() && wants_excerpt(r.findings))
        r.excerpt = excerpt_of(bytes, r.findings);
    if (converted.status != tvconv::Status::accepted) {
        r.reason = failure(converted);
        return c;
    }
    r.status = converted_status(r.findings);
    c.output = converted.output.str();
    return c;
}

}  // namespace tvconv::tree
