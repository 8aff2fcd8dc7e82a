// Checks of a template's bytes that the conversion itself does not make:
// encodings it cannot read and bytes it drops. None changes the output.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tvconv::tree {

struct EncodingWarning {
    std::string code;
    std::optional<int> line;
    std::string message;
};

std::vector<EncodingWarning> encoding_warnings(std::string_view bytes);

}  // namespace tvconv::tree
