#include "context/conversion.h"

#include <cstdlib>
#include <string>

namespace tvconv {

Conversion::Conversion(std::FILE* in_) : in(in_) {}

Conversion::~Conversion() {
    std::free(stack_block_);
}

std::size_t Conversion::diagnose(DiagnosticCode code, std::string_view subject,
                                 std::string_view fmt) {
    constexpr std::string_view kLine = " (line %d)";
    Diagnostic d{code, line_number, std::string(subject), {}, 0, 0, std::nullopt};
    std::size_t at = fmt.find(kLine);
    if (at == std::string_view::npos) {
        d.message = fmt;
        d.line.reset();
    } else {
        std::string quoted = " (line " + std::to_string(line_number) + ")";
        d.message.reserve(fmt.size() + quoted.size());
        d.message.append(fmt.substr(0, at)).append(quoted).append(fmt.substr(at + kLine.size()));
        d.line_at = at;
        d.line_length = quoted.size();
    }
    diagnostics.push_back(std::move(d));
    if (on_diagnostic) on_diagnostic(diagnostics.back(), document_ready);
    return diagnostics.size() - 1;
}

void Conversion::diagnose_without_line(DiagnosticCode code, std::string message) {
    diagnostics.push_back(
        Diagnostic{code, std::nullopt, {}, std::move(message), 0, 0, std::nullopt});
    if (on_diagnostic) on_diagnostic(diagnostics.back(), document_ready);
}

void* Conversion::stack_alloc(std::size_t bytes) {
    // The parser holds at most one heap block: the new one is allocated
    // before the old one is freed, so track the newest and let stack_free
    // forget the old.
    void* p = std::malloc(bytes);
    if (p) stack_block_ = p;
    return p;
}

void Conversion::stack_free(void* p) {
    if (p == stack_block_) stack_block_ = nullptr;
    std::free(p);
}

}  // namespace tvconv
