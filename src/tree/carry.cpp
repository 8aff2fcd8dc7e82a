#include "tree/carry.h"

#include <dtl/dtl.hpp>

#include "tree/diff.h"

namespace tvconv::tree {

namespace {

// An editor that rewrites line ends (or the last one) has not changed the
// construct on the line.
std::string_view without_end(std::string_view line) {
    if (line.ends_with('\n')) line.remove_suffix(1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    return line;
}

}  // namespace

LineMap::LineMap(std::string_view before, std::string_view after) {
    std::vector<std::string_view> a = lines_of(before), b = lines_of(after);
    for (auto* lines : {&a, &b})
        for (std::string_view& line : *lines) line = without_end(line);
    new_line_.assign(a.size(), 0);
    dtl::Diff<std::string_view, std::vector<std::string_view>> diff(a, b);
    diff.compose();
    // Counted along the edit script rather than read from its indices,
    // which dtl gives from the other side when it swapped the texts.
    std::size_t old_line = 0, new_line = 0;
    for (const auto& [line, info] : diff.getSes().getSequence()) {
        if (info.type != dtl::SES_ADD) ++old_line;
        if (info.type != dtl::SES_DELETE) ++new_line;
        if (info.type == dtl::SES_COMMON) new_line_[old_line - 1] = new_line;
    }
}

std::optional<std::size_t> LineMap::find(std::size_t line) const {
    if (line == 0 || line > new_line_.size() || new_line_[line - 1] == 0) return std::nullopt;
    return new_line_[line - 1];
}

std::vector<Finding> carry_findings(std::string_view before, std::string_view after,
                                    const std::vector<Finding>& findings) {
    const LineMap map(before, after);
    std::vector<Finding> open;
    for (const Finding& f : findings) {
        if (!f.output_line) {
            if (f.code == DiagnosticCode::utf8_bom && after.starts_with("\xEF\xBB\xBF"))
                open.push_back(f);
            continue;
        }
        if (std::optional<std::size_t> line = map.find(std::size_t(*f.output_line))) {
            open.push_back(f);
            open.back().output_line = int(*line);
        }
    }
    return open;
}

}  // namespace tvconv::tree
