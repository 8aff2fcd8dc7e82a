// Checks of a template's bytes that the conversion itself does not make:
// encodings it cannot read and bytes it drops. None changes the output.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "context/diagnostic.h"

namespace tvconv::tree {

// The findings of the input's own bytes (the codes of the input section).
std::vector<Diagnostic> encoding_warnings(std::string_view bytes);

}  // namespace tvconv::tree
