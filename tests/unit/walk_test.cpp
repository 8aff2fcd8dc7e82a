// The walk over the source tree: what each kind of entry becomes, where it
// goes, and which links are followed.
#include "tree/walk.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

namespace tvconv::tree {
namespace {

namespace fs = std::filesystem;

TEST(TreeWalk, EveryKindOfEntry) {
    char pattern[] = "/tmp/tvconv-walk-test.XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const fs::path root = fs::canonical(pattern);
    const fs::path outside = root.string() + ".outside";
    fs::create_directories(root / "d" / "sub");
    fs::create_directories(root / ".git");
    fs::create_directories(root / "drafts");
    for (const char* name :
         {"d/_m.cfg", "d/page.HTML", "d/img.gif", "drafts/x.html", "tavrin.cfg", "auto.cfg"})
        std::ofstream(root / name) << "x";
    fs::permissions(root / "d" / "img.gif", fs::perms(0640));
    std::ofstream(outside) << "secret";
    fs::create_symlink("../page.HTML", root / "d" / "sub" / "in.html");
    fs::create_symlink(outside, root / "out.html");
    fs::create_symlink("nowhere", root / "dangling.html");
    fs::create_symlink("loop", root / "loop");
    fs::create_symlink("d", root / "dirlink");
    ASSERT_EQ(::mkfifo((root / "pipe.html").c_str(), 0600), 0);

    Options options;
    options.excludes = {"drafts"};
    std::vector<Entry> entries;
    ASSERT_FALSE(walk(root.string(), options, entries));
    std::map<std::string, const Entry*> by_path;
    std::vector<std::string> order;
    for (const Entry& e : entries) {
        by_path[e.path] = &e;
        order.push_back(e.path);
    }
    EXPECT_EQ(order, (std::vector<std::string>{".git", "auto.cfg", "d", "d/_m.cfg", "d/img.gif",
                                               "d/page.HTML", "d/sub", "d/sub/in.html",
                                               "dangling.html", "dirlink", "drafts", "loop",
                                               "out.html", "pipe.html", "tavrin.cfg"}));
    auto is = [&](const std::string& path, Kind kind, const std::string& target,
                  const std::string& problem) {
        const Entry& e = *by_path.at(path);
        EXPECT_EQ(int(e.kind), int(kind)) << path;
        EXPECT_EQ(e.target, target) << path;
        EXPECT_EQ(e.problem, problem) << path;
    };
    is(".git", Kind::kExcluded, "", "version-control folder");
    is("drafts", Kind::kExcluded, "", "excluded by --exclude drafts");
    EXPECT_TRUE(by_path.at("drafts")->directory);
    is("d", Kind::kDirectory, "d", "");
    is("d/_m.cfg", Kind::kTemplate, "d/m.tvx", "");
    is("d/page.HTML", Kind::kTemplate, "d/page.HTML", "");
    is("d/img.gif", Kind::kFile, "d/img.gif", "");
    EXPECT_EQ(by_path.at("d/img.gif")->mode, mode_t(0640));
    is("d/sub/in.html", Kind::kTemplate, "d/sub/in.html", "");
    is("out.html", Kind::kSkipped, "", "symbolic link leads out of the source tree");
    EXPECT_TRUE(by_path.at("out.html")->template_name);
    is("dangling.html", Kind::kSkipped, "", "dangling symbolic link (its target does not exist)");
    is("loop", Kind::kSkipped, "", "symbolic link loop");
    is("dirlink", Kind::kSkipped, "", "symbolic link to a directory, not followed");
    is("pipe.html", Kind::kSkipped, "", "not a regular file");
    // Two sources for one target name: neither is written.
    is("tavrin.cfg", Kind::kTemplate, "auto.tvx", "target name auto.tvx is also taken by auto.cfg");
    is("auto.cfg", Kind::kTemplate, "auto.tvx", "target name auto.tvx is also taken by tavrin.cfg");

    std::vector<Entry> none;
    Error e = walk((root / "missing").string(), options, none);
    EXPECT_EQ(e.message(), "cannot read directory: No such file or directory");
    fs::remove_all(root);
    fs::remove(outside);
}

}  // namespace
}  // namespace tvconv::tree
