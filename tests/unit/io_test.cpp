// tvconv-tree's I/O module: a replaced file appears whole or not at all and
// no temporary file outlives a failure; output files keep what they were
// (a link, a pipe, a mode); the target writer never writes into SOURCE.
#include "tree/io.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tree/content_hash.h"
#include "tree/error.h"
#include "tree/output.h"
#include "tree/paths.h"

namespace tvconv::tree {
namespace {

namespace fs = std::filesystem;

class TreeIo : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/tvconv-io-test.XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    static std::string contents(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static void put(const std::string& file, const std::string& data) {
        std::ofstream(file, std::ios::binary) << data;
    }
    // Every name in `dir` (not recursive), sorted.
    static std::vector<std::string> names(const fs::path& dir) {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename());
        std::sort(out.begin(), out.end());
        return out;
    }

    fs::path dir_;
};

TEST(TreeError, MessagesAreWhatThenTheSystemsReason) {
    EXPECT_FALSE(Error());
    EXPECT_TRUE(Error::because("refused"));
    EXPECT_EQ(Error::because("refused", "a/b").message(), "refused");
    EXPECT_EQ(Error::because("refused", "a/b").path(), "a/b");
    EXPECT_EQ(Error("cannot write", "x", ENOSPC).message(),
              "cannot write: No space left on device");
    EXPECT_EQ(Error({}, "-", EBADF).message(), "Bad file descriptor");
}

TEST(TreePaths, OneSetOfHelpers) {
    EXPECT_EQ(join("", "a.html"), "a.html");
    EXPECT_EQ(join("d/e", "a.html"), "d/e/a.html");
    EXPECT_EQ(parent("a.html"), "");
    EXPECT_EQ(parent("d/e/a.html"), "d/e");
    EXPECT_EQ(containing_directory("a.html"), ".");
    EXPECT_EQ(containing_directory("/a.html"), "/");
    EXPECT_EQ(containing_directory("/t/d/a.html"), "/t/d");
    EXPECT_EQ(base_name("d/e/a.html"), "a.html");
    EXPECT_EQ(base_name("a.html"), "a.html");
    EXPECT_TRUE(is_within("/src", "/src"));
    EXPECT_TRUE(is_within("/src/a", "/src"));
    EXPECT_FALSE(is_within("/src2", "/src"));
    EXPECT_TRUE(is_within("/anything", "/"));
}

TEST_F(TreeIo, AtomicWriteReplacesWholeWithTheMode) {
    const std::string file = path("page.html");
    put(file, "old");
    ASSERT_FALSE(atomic_write(file, "new text", 0640, kNoSlot, Durability::kRename));
    EXPECT_EQ(contents(file), "new text");
    EXPECT_EQ(fs::status(file).permissions(), fs::perms(0640));
    ASSERT_FALSE(atomic_write(file, "synced", 0600, kNoSlot, Durability::kSync));
    EXPECT_EQ(contents(file), "synced");
    EXPECT_EQ(names(dir_), std::vector<std::string>{"page.html"});
}

// Each way the replacement can fail leaves the old file as it was and no
// temporary file behind.
TEST_F(TreeIo, AtomicWriteCleansUpOnEveryFailure) {
    const std::string file = path("page.html");
    put(file, "old");

    // The temporary file cannot be made.
    Error e = atomic_write(path("missing/page.html"), "x", 0644, kNoSlot, Durability::kRename);
    EXPECT_EQ(e.message(), "cannot write: No such file or directory");
    EXPECT_EQ(e.path(), path("missing/page.html"));
    EXPECT_EQ(atomic_write(path("page.html/x"), "x", 0644, kNoSlot, Durability::kSync).errnum(),
              ENOTDIR);
    std::string deep = dir_.string() + "/" + std::string(PATH_MAX, 'd') + "/x";
    EXPECT_EQ(atomic_write(deep, "x", 0644, kNoSlot, Durability::kRename).errnum(), ENAMETOOLONG);

    // The rename fails: a directory with something in it is in the way.
    fs::create_directories(dir_ / "busy" / "inside");
    e = atomic_write(path("busy"), "x", 0644, kNoSlot, Durability::kSync);
    EXPECT_TRUE(e.errnum() == EISDIR || e.errnum() == ENOTEMPTY) << e.message();

    // A write fails half-way: the file-size limit lets 4 bytes through.
    struct rlimit saved;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit tiny = saved;
    tiny.rlim_cur = 4;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tiny), 0);
    e = atomic_write(file, "longer than four bytes", 0644, kNoSlot, Durability::kRename);
    std::string hash;
    Error copied = atomic_copy(path("busy/inside/../../page.html"), path("copy"), 0644, kNoSlot,
                               Durability::kRename, hash);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(e.message(), "cannot write: File too large");
    EXPECT_FALSE(copied) << "4 bytes fit";
    put(path("big"), std::string(100, 'b'));
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tiny), 0);
    std::signal(SIGXFSZ, SIG_IGN);
    copied = atomic_copy(path("big"), file, 0644, kNoSlot, Durability::kRename, hash);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(copied.message(), "cannot write: File too large");

    EXPECT_EQ(contents(file), "old");
    EXPECT_EQ(names(dir_), (std::vector<std::string>{"big", "busy", "copy", "page.html"}));
    EXPECT_EQ(names(dir_ / "busy"), std::vector<std::string>{"inside"});
}

TEST_F(TreeIo, AtomicCopyHashesWhatItCopied) {
    std::string bytes;
    for (int i = 0; i < 200000; ++i) bytes += char(i * 7);  // several reads' worth
    put(path("from"), bytes);
    std::string hash;
    ASSERT_FALSE(atomic_copy(path("from"), path("to"), 0600, kNoSlot, Durability::kRename, hash));
    EXPECT_EQ(contents(path("to")), bytes);
    EXPECT_EQ(hash, content_hash(bytes));
    EXPECT_EQ(fs::status(path("to")).permissions(), fs::perms(0600));

    hash = "unchanged";
    Error e = atomic_copy(path("nothing"), path("to"), 0600, kNoSlot, Durability::kRename, hash);
    EXPECT_EQ(e.message(), "cannot read: No such file or directory");
    EXPECT_EQ(e.path(), path("nothing"));
    EXPECT_EQ(hash, "unchanged");
    EXPECT_EQ(contents(path("to")), bytes);
}

TEST_F(TreeIo, ReadsAndHashesWholeFiles) {
    std::string bytes(150000, 'x');
    bytes += "end";
    put(path("f"), bytes);
    std::string out = "kept:";
    ASSERT_FALSE(read_file(path("f"), out));
    EXPECT_EQ(out, "kept:" + bytes);
    Error e = read_file(path("none"), out);
    EXPECT_EQ(e.message(), "cannot read: No such file or directory");
    EXPECT_EQ(e.errnum(), ENOENT);
    EXPECT_EQ(read_file(dir_.string(), out).errnum(), EISDIR);

    int fd = ::open(path("f").c_str(), O_RDONLY);
    std::string hash;
    ASSERT_FALSE(content_hash_of(fd, hash));
    ::close(fd);
    EXPECT_EQ(hash, content_hash(bytes));
    ContentHasher pieces;
    pieces.update(bytes.data(), 7);
    pieces.update(bytes.data() + 7, bytes.size() - 7);
    EXPECT_EQ(pieces.digest(), hash);
}

TEST_F(TreeIo, OutputFilesKeepWhatTheyAre) {
    // A new file gets the mode fopen would give it, an old one keeps its own.
    mode_t mask = ::umask(022);
    ASSERT_FALSE(write_output(path("new.json"), "{}\n"));
    EXPECT_EQ(fs::status(path("new.json")).permissions(), fs::perms(0644));
    put(path("old.json"), "previous, longer content");
    fs::permissions(path("old.json"), fs::perms(0604));
    ASSERT_FALSE(write_output(path("old.json"), "[]"));
    EXPECT_EQ(contents(path("old.json")), "[]");
    EXPECT_EQ(fs::status(path("old.json")).permissions(), fs::perms(0604));
    ::umask(mask);

    // A link is written through, and stays a link.
    fs::create_symlink("old.json", dir_ / "link.json");
    ASSERT_FALSE(write_output(path("link.json"), "via the link"));
    EXPECT_TRUE(fs::is_symlink(dir_ / "link.json"));
    EXPECT_EQ(contents(path("old.json")), "via the link");

    // A pipe is written into, not replaced.
    ASSERT_EQ(::mkfifo(path("pipe").c_str(), 0600), 0);
    std::string got;
    std::thread reader([&] { got = contents(path("pipe")); });
    Error e = write_output(path("pipe"), "through the pipe");
    reader.join();
    EXPECT_FALSE(e) << e.message();
    EXPECT_EQ(got, "through the pipe");
    EXPECT_TRUE(fs::is_fifo(dir_ / "pipe"));

    // The reason alone: the caller names the file.
    EXPECT_EQ(write_output(path("no/such/dir/r.json"), "x").message(), "No such file or directory");
    EXPECT_EQ(names(dir_), (std::vector<std::string>{"link.json", "new.json", "old.json", "pipe"}));
}

// A report made a piece at a time replaces its file whole, or leaves the
// old one and no temporary file when making it fails.
TEST_F(TreeIo, OutputMadeInPiecesIsWrittenWholeOrNotAtAll) {
    std::string want;
    ASSERT_FALSE(write_output(path("r.html"), [&](const PieceSink& put) {
        PieceWriter out(put);
        for (int i = 0; i < 20000; ++i) {
            out.text() += "line " + std::to_string(i) + "\n";
            out.part();
        }
        want = out.text();  // what was not handed on yet
        return out.finish();
    }));
    const std::string got = contents(path("r.html"));
    EXPECT_GT(got.size(), std::size_t(1) << 17);  // more than one piece
    EXPECT_TRUE(got.starts_with("line 0\n") && got.ends_with(want) && want.size() < got.size());
    EXPECT_NE(got.find("line 12345\nline 12346\n"), std::string::npos);

    int pieces = 0;
    Error e = write_output(path("r.html"), [&](const PieceSink& put) {
        if (Error first = put("a new start")) return first;
        ++pieces;
        return Error("cannot write", "elsewhere", ENOSPC);
    });
    EXPECT_EQ(pieces, 1);
    EXPECT_EQ(e.errnum(), ENOSPC);
    EXPECT_EQ(contents(path("r.html")), got);
    EXPECT_EQ(names(dir_), (std::vector<std::string>{"r.html"}));
}

// A report file the user may write, in a directory the user may not: it
// cannot be replaced, so it is written in place, as it always was. Run as
// an unprivileged user (root may write any directory).
TEST_F(TreeIo, AReportInADirectoryNotOursIsWrittenInPlace) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to become another user";
    fs::create_directory(dir_ / "locked");
    put(path("locked/report.json"), "old report");
    put(path("locked/new.json"), "");
    fs::permissions(dir_, fs::perms(0755));
    fs::permissions(dir_ / "locked", fs::perms(0755));
    fs::permissions(dir_ / "locked" / "report.json", fs::perms(0666));
    struct stat before;
    ASSERT_EQ(::stat(path("locked/report.json").c_str(), &before), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Only the exit status leaves the child: 0 when all went as it should.
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(10);
        if (!writes_in_place(path("locked/report.json"))) ::_exit(11);
        if (write_output(path("locked/report.json"), "new report")) ::_exit(12);
        // One the user may not write fails as before.
        if (writes_in_place(path("locked/new.json"))) ::_exit(13);
        if (write_output(path("locked/new.json"), "x").message() != "Permission denied")
            ::_exit(14);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(contents(path("locked/report.json")), "new report");
    struct stat after;
    ASSERT_EQ(::stat(path("locked/report.json").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "written in place";
    EXPECT_EQ(names(dir_ / "locked"), (std::vector<std::string>{"new.json", "report.json"}));
    // Where the directory may be written, a file is still replaced whole.
    EXPECT_FALSE(writes_in_place(path("locked/report.json")));
}

TEST_F(TreeIo, StandardOutputIsTheDash) {
    const std::string file = path("stdout");
    std::fflush(stdout);
    int saved = ::dup(STDOUT_FILENO);
    int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(fd, STDOUT_FILENO);
    ::close(fd);
    std::fputs("buffered first, ", stdout);  // stdio's buffer goes out before
    Error e = write_output("-", "then the report");
    std::fflush(stdout);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    EXPECT_FALSE(e) << e.message();
    EXPECT_EQ(contents(file), "buffered first, then the report");
}

TEST_F(TreeIo, LeftoversAreOnlyOurTemporaryFiles) {
    for (const char* name : {".tvconv-tree.AbC123", ".tvconv-tree.zzzzzz", ".tvconv-tree.ab-c12",
                             ".tvconv-tree.toolong1", ".tvconv-tree.", "page.html",
                             "rec.json.Q1w2E3", "rec.json.lock", "rec.json.journal"})
        put(path(name), "x");
    fs::create_directory(dir_ / ".tvconv-tree.DIR123");
    EXPECT_EQ(remove_leftovers(dir_.string()), 2u);
    EXPECT_EQ(remove_leftovers(dir_.string(), "rec.json."), 1u);
    EXPECT_EQ(names(dir_),
              (std::vector<std::string>{".tvconv-tree.", ".tvconv-tree.DIR123",
                                        ".tvconv-tree.ab-c12", ".tvconv-tree.toolong1", "page.html",
                                        "rec.json.journal", "rec.json.lock"}));
    EXPECT_EQ(remove_leftovers(path("missing")), 0u);
}

TEST_F(TreeIo, TheWriterRefusesTheSourceTree) {
    fs::create_directories(dir_ / "src");
    fs::create_directories(dir_ / "out");
    fs::create_directory_symlink(dir_ / "src", dir_ / "out" / "back");
    TargetWriter writer(fs::canonical(dir_ / "src").string());

    std::string temp, hash;
    struct stat st;
    ASSERT_FALSE(writer.stage_file(path("out/a.html"), "a", 0644, kNoSlot, temp, st));
    EXPECT_FALSE(install_temporary(temp, path("out/a.html"), kNoSlot));
    Error e = writer.stage_file(path("out/back/a.html"), "a", 0644, kNoSlot, temp, st);
    EXPECT_EQ(e.message(), "refused to write inside the source tree");
    EXPECT_TRUE(
        writer.stage_copy(path("out/a.html"), path("out/back/b"), 0644, kNoSlot, temp, st, hash));
    EXPECT_TRUE(writer.make_directory(path("out/back/sub")));
    EXPECT_TRUE(fs::is_empty(dir_ / "src"));

    // A directory that cannot be resolved yet is asked about again.
    EXPECT_EQ(writer.refuse(path("out/later/a.html")).message(),
              "cannot write: No such file or directory");
    ASSERT_FALSE(writer.make_directory(path("out/later")));
    EXPECT_FALSE(writer.make_directory(path("out/later")));
    EXPECT_FALSE(writer.refuse(path("out/later/a.html")));
    EXPECT_EQ(writer.make_directory(path("out/a.html")).message(),
              "cannot create directory: Not a directory");
}

}  // namespace
}  // namespace tvconv::tree
