// Unified diffs from a template to its conversion, for review before
// anything is written.
#pragma once

#include <string>
#include <string_view>

namespace tvconv::tree {

// A unified diff from `before` (shown as a/OLD_NAME) to `after` (b/NEW_NAME)
// that patch applies: three lines of context, a line without a final line
// feed marked as such, and a name that patch would split in C-style quotes.
// Empty when the two are equal; when either holds a NUL byte, only the line
// "Binary files a/OLD_NAME and b/NEW_NAME differ".
std::string unified_diff(std::string_view before, std::string_view after,
                         const std::string& old_name, const std::string& new_name);

}  // namespace tvconv::tree
