// Carrying findings through a hand edit: the page as the tool last wrote it
// is compared, line by line, with what the target holds now, so that the
// to-do list follows the file the user edits.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

namespace tvconv::tree {

// Where each line of `before` stands in `after`: a line the edit kept as it
// was has its new number; one the user changed or deleted has none. Lines
// are compared with their line feeds, as the diffs are.
class LineMap {
  public:
    LineMap(std::string_view before, std::string_view after);
    // The line of `after` that line `line` of `before` became (both counted
    // from 1), or nothing when the edit changed or deleted it.
    std::optional<std::size_t> find(std::size_t line) const;

  private:
    std::vector<std::size_t> new_line_;  // by old line - 1; 0 when gone
};

}  // namespace tvconv::tree
