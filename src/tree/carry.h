// Carrying findings through a hand edit: the page as the tool last wrote it
// is compared, line by line, with what the target holds now, so that the
// to-do list follows the file the user edits.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "tree/record.h"

namespace tvconv::tree {

// Where each line of `before` stands in `after`: a line the edit kept as it
// was has its new number; one the user changed or deleted has none. Lines
// are compared without their ends: LF, CR LF, or none at the end of the text.
class LineMap {
  public:
    LineMap(std::string_view before, std::string_view after);
    // The line of `after` that line `line` of `before` became (both counted
    // from 1), or nothing when the edit changed or deleted it.
    std::optional<std::size_t> find(std::size_t line) const;

  private:
    std::vector<std::size_t> new_line_;  // by old line - 1; 0 when gone
};

// The findings of `before` (a conversion: their output lines are its lines)
// that a hand edit into `after` leaves open, each at its line in `after`. One
// on a line the user changed or deleted is resolved. One that names no line
// has none to follow it by, and goes with the edit, except a byte-order mark
// that `after` still starts with.
std::vector<Finding> carry_findings(std::string_view before, std::string_view after,
                                    const std::vector<Finding>& findings);

}  // namespace tvconv::tree
