#include "tree/merge.h"

#include <git2.h>

#include <mutex>

namespace tvconv::tree {

namespace {

// libgit2 wants its allocator and settings set up once per process; the
// merge itself touches no repository.
void init_once() {
    static std::once_flag once;
    std::call_once(once, [] { git_libgit2_init(); });
}

git_merge_file_input input(std::string_view bytes) {
    git_merge_file_input in = GIT_MERGE_FILE_INPUT_INIT;
    in.ptr = bytes.data();
    in.size = bytes.size();
    return in;
}

// One git_merge_file in the given style; `text` takes the result.
Error run_merge(std::string_view base, std::string_view ours, std::string_view theirs,
                const MergeLabels& labels, std::uint32_t style, bool& clean, std::string& text) {
    init_once();
    const git_merge_file_input b = input(base), o = input(ours), t = input(theirs);
    git_merge_file_options options = GIT_MERGE_FILE_OPTIONS_INIT;
    options.ancestor_label = labels.base.c_str();
    options.our_label = labels.ours.c_str();
    options.their_label = labels.theirs.c_str();
    // What git merge-file does: zealous merging that folds conflicts apart
    // only by non-alphanumeric lines into one.
    options.flags = style | GIT_MERGE_FILE_SIMPLIFY_ALNUM;
    git_merge_file_result result{};
    if (git_merge_file(&result, &b, &o, &t, &options) != 0) {
        const git_error* e = git_error_last();
        return Error::because(std::string("cannot merge: ") + (e ? e->message : "out of memory"));
    }
    clean = result.automergeable != 0;
    text.assign(result.ptr ? result.ptr : "", result.len);
    git_merge_file_result_free(&result);
    return {};
}

bool marker(std::string_view line, char c) {
    return line.size() >= 7 && line.find_first_not_of(c) >= 7 &&
           (line.size() == 7 || line[7] == ' ');
}

// The hunks of a merge with conflict markers: <<<<<<< ours [||||||| base]
// ======= theirs >>>>>>>. Line numbers are those of `text`'s markers.
std::vector<ConflictHunk> hunks_of(std::string_view text) {
    std::vector<ConflictHunk> hunks;
    enum { kOut, kOurs, kBase, kTheirs } in = kOut;
    std::size_t line = 0;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        end = end == std::string_view::npos ? text.size() : end + 1;
        const std::string_view l = text.substr(start, end - start);
        const std::string_view bare = l.substr(0, l.find('\n'));
        ++line;
        if (in == kOut && marker(bare, '<')) {
            hunks.push_back({line, {}, {}, {}, true});
            in = kOurs;
        } else if (in == kOurs && marker(bare, '|')) {
            in = kBase;
        } else if ((in == kOurs || in == kBase) && bare == "=======") {
            in = kTheirs;
        } else if (in == kTheirs && marker(bare, '>')) {
            in = kOut;
        } else if (in != kOut) {
            (in == kOurs   ? hunks.back().ours
             : in == kBase ? hunks.back().base
                           : hunks.back().theirs) += l;
        }
        start = end;
    }
    return hunks;
}

}  // namespace

Error merge_text(std::string_view base, std::string_view ours, std::string_view theirs,
                 const MergeLabels& labels, MergeResult& result) {
    result = MergeResult{};
    if (Error e = run_merge(base, ours, theirs, labels, GIT_MERGE_FILE_DEFAULT, result.clean,
                            result.text))
        return e;
    if (result.clean) return {};
    result.conflicts = hunks_of(result.text);
    // A binary side (a NUL byte) is not merged by lines at all: the whole
    // file is the conflict.
    if (result.conflicts.empty()) {
        result.conflicts.push_back(
            {1, std::string(base), std::string(ours), std::string(theirs), true});
        return {};
    }
    // The base of each hunk, from the same merge in zealous diff3 style,
    // which splits the conflicts alike.
    bool clean = false;
    std::string zdiff3;
    if (Error e = run_merge(base, ours, theirs, labels, GIT_MERGE_FILE_STYLE_ZDIFF3, clean, zdiff3))
        return e;
    std::vector<ConflictHunk> with_base = hunks_of(zdiff3);
    for (std::size_t i = 0; i < result.conflicts.size(); ++i) {
        ConflictHunk& h = result.conflicts[i];
        h.base_known =
            i < with_base.size() && with_base[i].ours == h.ours && with_base[i].theirs == h.theirs;
        if (h.base_known) h.base = std::move(with_base[i].base);
    }
    return {};
}

MergeLabels merge_labels(const std::string& target_path) {
    return {target_path + " (target, edited by hand)", target_path + " (last conversion)",
            target_path + " (new conversion)"};
}

}  // namespace tvconv::tree
