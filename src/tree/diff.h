// Diffs from a template to its conversion, for review before anything is
// written, in the form that both git apply and patch -p1 apply to a copy of
// SOURCE to give TARGET.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tvconv::tree {

// The lines of `text` with their line feeds, so that a last line without one
// differs from the same line with one, as it does for patch.
std::vector<std::string_view> lines_of(std::string_view text);

// A unified diff from `before` (shown as a/OLD_NAME) to `after` (b/NEW_NAME)
// that patch applies: three lines of context, a line without a final line
// feed marked as such, and a name that patch would split or git would not
// read as it is in C-style quotes. Empty when the two are equal. A NUL byte
// goes into the lines as it is: both tools carry it.
std::string unified_diff(std::string_view before, std::string_view after,
                         const std::string& old_name, const std::string& new_name);

// One file of --diff.
struct DiffFile {
    std::string old_name;  // relative to SOURCE
    std::string new_name;  // relative to TARGET
    // When the source is a symbolic link: its text. A copy of SOURCE holds
    // the link, TARGET a file, so the diff replaces the one by the other.
    std::optional<std::string> link;
    mode_t mode = 0644;  // permission bits of the file the run writes
};

// The diff that turns `before` under its SOURCE name into `after` under its
// TARGET name, with git's headers: "diff --git", and "similarity index",
// "rename from", "rename to" for a renamed file even when its bytes stay.
// For a link, the link is deleted and a file holding `after` created, as git
// writes a change of type; `before` is then not used. Empty when nothing
// changes.
std::string git_diff(std::string_view before, std::string_view after, const DiffFile& file);

// The text of the symbolic link at `path`, or nothing when `path` is not one.
std::optional<std::string> link_text(const std::string& path);

}  // namespace tvconv::tree
