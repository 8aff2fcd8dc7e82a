// Merges three files as `git merge-file -p -L OURS_LABEL -L BASE_LABEL
// -L THEIRS_LABEL OURS BASE THEIRS` does, with tvconv-tree's merge: the
// merge on standard output, the number of conflicts as the exit status;
// with --hunks, each conflicting hunk instead, for checking the hunks.
#include <cstdio>
#include <string>

#include "tree/io.h"
#include "tree/merge.h"

using namespace tvconv::tree;

int main(int argc, char** argv) {
    const bool hunks = argc == 8 && std::string(argv[1]) == "--hunks";
    if (argc != 7 && !hunks) {
        std::fprintf(stderr, "usage: tvconv_merge_file [--hunks] OURS BASE THEIRS L1 L2 L3\n");
        return 255;
    }
    char** a = argv + (hunks ? 2 : 1);
    std::string ours, base, theirs;
    if (read_file(a[0], ours) || read_file(a[1], base) || read_file(a[2], theirs)) return 255;
    MergeResult result;
    if (merge_text(base, ours, theirs, {a[3], a[4], a[5]}, result)) return 255;
    if (!hunks) {
        std::fwrite(result.text.data(), 1, result.text.size(), stdout);
    } else {
        for (const ConflictHunk& h : result.conflicts)
            std::printf("@%zu %d\n<%s|%s>%s", h.line, h.base_known ? 1 : 0, h.ours.c_str(),
                        h.base.c_str(), h.theirs.c_str());
    }
    return int(result.conflicts.size() > 127 ? 127 : result.conflicts.size());
}
