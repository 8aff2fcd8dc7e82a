// tvconv-tree: file names, the diagnostic split, the report encodings, the
// command line, and a parallel run that must match a sequential one.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/convert.h"
#include "tree/converter.h"
#include "tree/diff.h"
#include "tree/html.h"
#include "tree/json_report.h"
#include "tree/model.h"
#include "tree/names.h"
#include "tree/options.h"
#include "tree/plan.h"
#include "tree/record.h"
#include "tree/run.h"
#include "tree/sarif.h"
#include "tree/terminal.h"
#include "tree/writer.h"

namespace tvconv::tree {
namespace {

TEST(TreeNames, MacroFilesTakeTheTargetNames) {
    EXPECT_EQ(converted_name("_macros.cfg"), "macros.tvx");
    EXPECT_EQ(converted_name("macros.cfg"), "macros.tvx");
    EXPECT_EQ(converted_name("Lib.CFG"), "Lib.tvx");
    EXPECT_EQ(converted_name("tavrin.cfg"), "auto.tvx");
    EXPECT_EQ(converted_name("Tavrin.Cfg"), "auto.tvx");
    EXPECT_EQ(converted_name("_tavrin.cfg"), "tavrin.tvx");
    EXPECT_EQ(converted_name("__a.cfg"), "_a.tvx");  // one underscore only
    EXPECT_EQ(converted_name("_.cfg"), "_.tvx");     // not a hidden ".tvx"
    EXPECT_EQ(converted_name("a.cfg.bak"), "a.cfg.bak");
    EXPECT_EQ(converted_name("_page.html"), "_page.html");
    EXPECT_EQ(converted_name(".cfg"), ".cfg");
}

TEST(TreeNames, TemplatesAreRecognisedByExtension) {
    std::vector<std::string> defaults = Options{}.extensions;
    EXPECT_TRUE(is_template("index.html", defaults));
    EXPECT_TRUE(is_template("INDEX.HTM", defaults));
    EXPECT_TRUE(is_template("_m.cfg", defaults));
    EXPECT_FALSE(is_template("index.html.orig", defaults));
    EXPECT_FALSE(is_template(".html", defaults));
    EXPECT_FALSE(is_template("html", defaults));
    EXPECT_FALSE(is_template("a.xhtml", defaults));
    EXPECT_TRUE(is_template("a.tar.gz", {"tar.gz"}));
}

// The report shows the line apart, so each message is shown without its
// own " (line N)"; a syntax error may quote a line feed as its token.
TEST(TreeDiagnostics, MessagesLoseTheirLineNumberText) {
    tvconv::Result r = tvconv::convert(std::string_view("^ascii[x]\n\n^config[a;b]\n^if\n"));
    ASSERT_EQ(r.diagnostics.size(), 3u);
    EXPECT_EQ(r.diagnostics[0].line, 1);
    EXPECT_EQ(r.diagnostics[0].message_without_line(),
              "Unconvertible operator 'ascii': remarked, edit manually");
    EXPECT_EQ(r.diagnostics[1].line, 3);
    EXPECT_EQ(r.diagnostics[1].message_without_line(),
              "Unconvertible form of 'config' operator; remarked, edit manually");
    EXPECT_EQ(r.diagnostics[2].line, 4);
    EXPECT_EQ(printable(r.diagnostics[2].message_without_line()),
              "Unrecognized sequence: parse error, unexpected CR, expecting SQBRO near '\\x0a'");
}

// Names are bytes. UTF-8 is kept; any other byte becomes a lone surrogate
// U+DC80..U+DCFF, so that every name maps back to its bytes and two
// different names never give one string.
TEST(TreeReport, JsonStringsMapEveryNameBackToItsBytes) {
    EXPECT_EQ(json_text("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(json_text("\n\t\x01"), "\"\\n\\t\\u0001\"");
    EXPECT_EQ(json_text("caf\xc3\xa9"), "\"caf\xc3\xa9\"");  // UTF-8 kept
    EXPECT_EQ(json_text("caf\xe9"), "\"caf\\udce9\"");       // a cp1252 byte
    EXPECT_NE(json_text("caf\xe9"), json_text("caf\xc3\xa9"));
    EXPECT_EQ(json_text("\xc0\xaf"), "\"\\udcc0\\udcaf\"");             // overlong
    EXPECT_EQ(json_text("\xed\xa0\x80"), "\"\\udced\\udca0\\udc80\"");  // a surrogate
    EXPECT_EQ(json_text("x\xe2\x82\n"), "\"x\\udce2\\udc82\\u000a\"");  // cut short
}

// What reaches a terminal cannot move the cursor, change colours or
// reorder the line.
TEST(TreeReport, PrintableEscapesControlsAndReordering) {
    EXPECT_EQ(printable("a\nb\x1b[31m"), "a\\x0ab\\x1b[31m");
    EXPECT_EQ(printable("a\tb\\x0a"), "a\tb\\\\x0a");  // a tab breaks no line
    EXPECT_EQ(printable("\xc2\x9b"
                        "1m"),
              "\\u009b1m");                 // C1 CSI
    EXPECT_EQ(printable("\x9b"), "\\x9b");  // a lone byte
    EXPECT_EQ(printable("evil\xe2\x80\xaeharmless"), "evil\\u202eharmless");
    EXPECT_EQ(printable("caf\xc3\xa9 \xe2\x81\xa6"), "caf\xc3\xa9 \\u2066");
}

// The terminal and the HTML page show each byte and character alike: the
// page only adds its mark-up and its entities, the terminal doubles a
// backslash.
TEST(TreeReport, TerminalAndHtmlShowEachByteAlike) {
    auto unmarked = [](std::string s) {
        for (std::string_view tag : {"<span class=\"byte\">", "</span>"})
            for (std::size_t at; (at = s.find(tag)) != std::string::npos;) s.erase(at, tag.size());
        return s;
    };
    std::vector<std::string> samples = {"\xc2\x85", "\xe2\x80\xae", "\xe2\x81\xa6", "\xc3\xa9"};
    for (int c = 0; c < 256; ++c)
        if (!std::strchr("\\&<>\"'", c) || c == 0) samples.emplace_back(1, char(c));
    for (const std::string& s : samples)
        EXPECT_EQ(printable(s), unmarked(html_text(s))) << "byte " << int((unsigned char)s[0]);
}

// The lines "1\n" to "N\n", with line K replaced by `with` (0: none).
std::string numbered(int n, int k = 0, const char* with = "X") {
    std::string out;
    for (int i = 1; i <= n; ++i)
        out += i == k ? std::string(with) + "\n" : std::to_string(i) + "\n";
    return out;
}

// Hunks as GNU diff -u writes them for the same files (each expectation was
// taken from diff -u): three lines of context, "START" alone for a range of
// one line, an empty range named by the line before it, and two changes
// in one hunk while at most six unchanged lines lie between them.
TEST(TreeDiff, HunksAreThoseOfDiffU) {
    auto body = [](std::string_view a, std::string_view b) {
        std::string d = unified_diff(a, b, "f", "f");
        EXPECT_TRUE(d.starts_with("--- a/f\n+++ b/f\n")) << d;
        return d.substr(d.find("@@"));
    };
    EXPECT_EQ(body("a\n", "b\n"), "@@ -1 +1 @@\n-a\n+b\n");
    EXPECT_EQ(body("", "x\ny\n"), "@@ -0,0 +1,2 @@\n+x\n+y\n");
    EXPECT_EQ(body("x\ny\n", ""), "@@ -1,2 +0,0 @@\n-x\n-y\n");
    EXPECT_EQ(body("a\nb\n", "x\na\nb\n"), "@@ -1,2 +1,3 @@\n+x\n a\n b\n");
    EXPECT_EQ(body(numbered(10), numbered(10, 5)),
              "@@ -2,7 +2,7 @@\n 2\n 3\n 4\n-5\n+X\n 6\n 7\n 8\n");
    std::string first_gone = numbered(10).substr(2);
    EXPECT_EQ(body(numbered(10), first_gone), "@@ -1,4 +1,3 @@\n-1\n 2\n 3\n 4\n");
    std::string inserted = numbered(10);
    inserted.insert(inserted.find("6\n"), "new\n");
    EXPECT_EQ(body(numbered(10), inserted), "@@ -3,6 +3,7 @@\n 3\n 4\n 5\n+new\n 6\n 7\n 8\n");

    // Six unchanged lines between two changes: one hunk; seven: two.
    std::string six = numbered(20, 3);
    six.replace(six.find("\n10\n") + 1, 2, "Y");
    EXPECT_EQ(body(numbered(20), six),
              "@@ -1,13 +1,13 @@\n 1\n 2\n-3\n+X\n 4\n 5\n 6\n 7\n 8\n 9\n-10\n+Y\n 11\n 12\n "
              "13\n");
    std::string seven = numbered(20, 3);
    seven.replace(seven.find("\n11\n") + 1, 2, "Y");
    EXPECT_EQ(body(numbered(20), seven),
              "@@ -1,6 +1,6 @@\n 1\n 2\n-3\n+X\n 4\n 5\n 6\n"
              "@@ -8,7 +8,7 @@\n 8\n 9\n 10\n-11\n+Y\n 12\n 13\n 14\n");
}

// A last line without a line feed differs from the same line with one, and
// is marked so that patch restores it exactly.
TEST(TreeDiff, MissingFinalLineFeedsAreMarked) {
    const std::string mark = "\\ No newline at end of file\n";
    EXPECT_EQ(unified_diff("a", "b", "f", "f"),
              "--- a/f\n+++ b/f\n@@ -1 +1 @@\n-a\n" + mark + "+b\n" + mark);
    EXPECT_EQ(unified_diff("a\nb", "a\nb\n", "f", "f"),
              "--- a/f\n+++ b/f\n@@ -1,2 +1,2 @@\n a\n-b\n" + mark + "+b\n");
    EXPECT_EQ(unified_diff("same", "same", "f", "f"), "");
}

// patch ends an unquoted name at a blank, git reads a byte outside ASCII
// only in quotes; both carry a NUL byte in a line.
TEST(TreeDiff, NamesThatPatchWouldSplitAreQuoted) {
    std::string d = unified_diff("a\n", "b\n", "my dir/\"x\"\t\\.cfg", "my dir/x.tvx");
    EXPECT_TRUE(d.starts_with("--- \"a/my dir/\\\"x\\\"\\t\\\\.cfg\"\n+++ \"b/my dir/x.tvx\"\n@@"))
        << d;
    d = unified_diff("a\n", "b\n", "caf\xc3\xa9/\x01.html", "caf\xc3\xa9/\x01.html");
    EXPECT_TRUE(d.starts_with("--- \"a/caf\\303\\251/\\001.html\"\n")) << d;
    EXPECT_EQ(unified_diff(std::string_view("a\0b\n", 4), "ab\n", "n x.html", "n x.html"),
              "--- \"a/n x.html\"\n+++ \"b/n x.html\"\n@@ -1 +1 @@\n" + std::string("-a\0b\n", 5) +
                  "+ab\n");
}

// git's headers: a renamed file says so even when its bytes stay, with the
// share of its bytes kept; a link becomes the file the run writes.
TEST(TreeDiff, GitHeadersNameRenamesAndLinks) {
    auto file = [](std::string from, std::string to, std::optional<std::string> link = {},
                   mode_t mode = 0644) {
        return DiffFile{from, to, link, mode};
    };
    EXPECT_EQ(git_diff("a\n", "a\n", file("f.html", "f.html")), "");
    EXPECT_EQ(git_diff("a\n", "b\n", file("f.html", "f.html")),
              "diff --git a/f.html b/f.html\n--- a/f.html\n+++ b/f.html\n@@ -1 +1 @@\n-a\n+b\n");
    EXPECT_EQ(git_diff("m\n", "m\n", file("i/_m.cfg", "i/m.tvx")),
              "diff --git a/i/_m.cfg b/i/m.tvx\nsimilarity index 100%\n"
              "rename from i/_m.cfg\nrename to i/m.tvx\n");
    EXPECT_EQ(git_diff("kept\ngone\n", "kept\nnew!\n", file("my _m.cfg", "my m.tvx")),
              "diff --git \"a/my _m.cfg\" \"b/my m.tvx\"\nsimilarity index 50%\n"
              "rename from \"my _m.cfg\"\nrename to \"my m.tvx\"\n"
              "--- \"a/my _m.cfg\"\n+++ \"b/my m.tvx\"\n@@ -1,2 +1,2 @@\n kept\n-gone\n+new!\n");
    EXPECT_EQ(
        git_diff("ignored", "x\n", file("l.html", "l.html", "p.html", 0755)),
        "diff --git a/l.html b/l.html\ndeleted file mode 120000\n--- a/l.html\n+++ /dev/null\n"
        "@@ -1 +0,0 @@\n-p.html\n\\ No newline at end of file\n"
        "diff --git a/l.html b/l.html\nnew file mode 100755\n--- /dev/null\n+++ b/l.html\n"
        "@@ -0,0 +1 @@\n+x\n");
    EXPECT_EQ(
        git_diff("", "", file("_e.cfg", "e.tvx", "x.cfg")),
        "diff --git a/_e.cfg b/_e.cfg\ndeleted file mode 120000\n--- a/_e.cfg\n+++ /dev/null\n"
        "@@ -1 +0,0 @@\n-x.cfg\n\\ No newline at end of file\n"
        "diff --git a/e.tvx b/e.tvx\nnew file mode 100644\n");
}

// Template text in the HTML page is inert text, and every byte stays visible.
TEST(TreeReport, HtmlTextEscapesMarkupAndShowsEveryByte) {
    EXPECT_EQ(html_text("<script>alert(1)</script>"), "&lt;script&gt;alert(1)&lt;/script&gt;");
    EXPECT_EQ(html_text("a=\"1\" b='2' &amp;"), "a=&quot;1&quot; b=&#39;2&#39; &amp;amp;");
    EXPECT_EQ(html_text("caf\xc3\xa9\t"), "caf\xc3\xa9\t");  // UTF-8 and tabs kept
    EXPECT_EQ(html_text("caf\xe9"), "caf<span class=\"byte\">\\xe9</span>");
    EXPECT_EQ(html_text("\r\x7f"),
              "<span class=\"byte\">\\x0d</span><span class=\"byte\">\\x7f</span>");
    EXPECT_EQ(html_text("\xc2\x85"), "<span class=\"byte\">\\u0085</span>");  // C1 NEL
    EXPECT_EQ(html_text("a\xe2\x80\xae"
                        "b"),
              "a<span class=\"byte\">\\u202e</span>b");
    EXPECT_EQ(html_text("\xe2\x82"),  // a sequence cut short: each byte shown
              "<span class=\"byte\">\\xe2</span><span class=\"byte\">\\x82</span>");
}

// Known answers, and messages on each side of the padding boundaries
// (55, 56 and 64 bytes), where a fault in the length block shows.
TEST(TreeReport, CspHashIsTheBase64OfSha256) {
    EXPECT_EQ(csp_hash(""), "sha256-47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU=");
    EXPECT_EQ(csp_hash("abc"), "sha256-ungWv48Bz+pBQUDeXa4iI7ADYaOWF3qctBD/YfIAFa0=");
    EXPECT_EQ(csp_hash("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "sha256-JI1qYdIGOLjlwCaTDD5gOaM85Flk/yFn9uzt1BnbBsE=");
    EXPECT_EQ(csp_hash(std::string(55, 'a')),
              "sha256-n0OQ+NMMLdkuyfCVtl4rmumwqSWlJY4kHJ8ekQ9zQxg=");
    EXPECT_EQ(csp_hash(std::string(56, 'a')),
              "sha256-s1Q5pKxvCUi21vnjxq8PX1kM4g8b3nCQ73lwaG7Gc4o=");
    EXPECT_EQ(csp_hash(std::string(64, 'a')),
              "sha256-/+BU/nrgy23GXDr5th1SCfQ5hR20PQulmXM33xVGaOs=");
    EXPECT_EQ(csp_hash(std::string(1000, 'a')),
              "sha256-Qe3s5C1j6Nm/UVqbppMuHCDLyfWl0TRkWttdsblzfqM=");
}

// What the HTML page holds for a file: a line of text per finding, and the
// data its context is drawn from, from the excerpt the outcome kept when the
// source was read: CRLF, a CR inside a line, a line cut between characters.
TEST(TreeReport, HtmlFindingsAndTheirContextData) {
    Options options;
    options.source = "s";
    Entry entry;
    entry.path = entry.target = "p.html";
    entry.kind = Kind::kTemplate;
    std::vector<Entry> entries{entry};
    FileOutcome outcome;
    outcome.status = FileStatus::kManual;
    for (int line : {1, 3, 5, 9})
        outcome.findings.push_back(
            Finding::at(DiagnosticCode::unconvertible_operator, line, "m<\"b\">"));
    std::string long_line = "x" + std::string(70, ' ');
    for (int i = 0; i < 100; ++i) long_line += "\xc3\xa9";
    std::string source = "one\r\ntwo\rcr\t\\\n" + long_line + "\nfour";
    outcome.excerpt = excerpt_of(source, outcome.findings);
    // Two of them in the target too: lines 2 and 8 of twelve.
    outcome.findings[1].output_line = 2;
    outcome.findings[3].output_line = 8;
    // The first is shown as the source's first: given by its number.
    std::string target = "one\n";
    for (int i = 2; i <= 12; ++i) target += "t" + std::to_string(i) + "\n";
    outcome.target_excerpt = target_excerpt_of(target, outcome.findings, *outcome.excerpt);
    // A line the source has is held once.
    EXPECT_EQ(outcome.target_excerpt->lines[0].same_as, 1u);
    EXPECT_EQ(outcome.target_excerpt->lines[0].text, "");
    EXPECT_EQ(outcome.target_excerpt->lines[1].same_as, 0u);
    std::vector<FileOutcome> outcomes{outcome};
    std::vector<char> finished{1};
    ReportModel model(options, entries, outcomes, finished, {}, false);
    std::string page = html_report(model, 3);

    auto between = [&](const std::string& open, const std::string& close) {
        std::size_t at = page.find(open);
        if (at == std::string::npos) return std::string("(none)");
        at += open.size();
        return page.substr(at, page.find(close, at) - at);
    };
    EXPECT_EQ(between("<span class=\"tally\">", "<"), "4 warnings");
    const std::string text = "unconvertible-operator warning, line ";
    const std::string message = ": m&lt;&quot;b&quot;&gt;\n";
    EXPECT_EQ(between("<pre class=\"findings\">", "</pre>"),
              text + "1" + message + text + "3, target line 2" + message + text + "5" + message +
                  text + "9, target line 8" + message);
    std::string cut = "x" + std::string(70, ' ');
    for (int i = 0; i < 24; ++i) cut += "\xc3\xa9";  // 119 bytes: the 120th starts a character
    cut += " \xe2\x80\xa6";
    const std::string f = "\"unconvertible-operator\",\"warning\",";
    std::string target_lines = "[1,1]";
    for (int i : {2, 3, 4, 5, 6, 7, 8, 9, 10, 11})
        target_lines += ",[" + std::to_string(i) + ",\"t" + std::to_string(i) + "\"]";
    EXPECT_EQ(
        between("<script type=\"application/json\" class=\"context\">", "</script>"),
        "[4,[[1," + f + "0],[3," + f + "2],[5," + f + "0],[9," + f +
            "8]],[[1,\"one\"],[2,\"two<span class=\\\"byte\\\">\\\\x0d</span>cr\\t\\\\\"],[3,\"" +
            cut + "\"],[4,\"four\"]],12,[" + target_lines + "]]");
}

// An outcome keeps only the lines the page shows, not its source: notes
// and findings without a line keep nothing.
TEST(TreeReport, ExcerptsHoldOnlyTheLinesAroundFindings) {
    std::vector<Finding> findings{Finding::at(DiagnosticCode::ambiguous_conversion, 500, "m"),
                                  Finding::at(DiagnosticCode::nul_byte, 502, "m"),
                                  Finding::at(DiagnosticCode::reference_rewritten, 100, "m"),
                                  Finding::at(DiagnosticCode::file_failed, std::nullopt, "m")};
    SourceExcerpt excerpt = excerpt_of(numbered(1000), findings);
    EXPECT_EQ(excerpt.line_count, 1000u);
    std::vector<std::size_t> kept;
    for (const SourceExcerpt::Line& l : excerpt.lines) {
        kept.push_back(l.number);
        EXPECT_EQ(l.text, std::to_string(l.number));
    }
    EXPECT_EQ(kept, (std::vector<std::size_t>{497, 498, 499, 500, 501, 502, 503, 504, 505}));
    EXPECT_FALSE(wants_excerpt({findings[2], findings[3]}));
    EXPECT_EQ(excerpt_of(numbered(1000), {findings[2]}).lines.size(), 0u);
}

// The code table: published names and severities that reports and the
// manual carry; a name maps back to its code.
TEST(TreeReport, EveryCodeHasOneEntryOfTheTable) {
    for (const CodeInfo& c : kCodes) {
        EXPECT_EQ(code_named(c.name), c.code) << c.name;
        EXPECT_FALSE(c.help.empty()) << c.name;
    }
    EXPECT_EQ(code_named("no-such-code"), std::nullopt);
    EXPECT_EQ(severity(DiagnosticCode::file_skipped), Severity::note);
    EXPECT_EQ(severity(DiagnosticCode::template_skipped), Severity::error);
    EXPECT_EQ(severity(DiagnosticCode::edited_by_hand), Severity::warning);
    // Only the conversion's own errors end a conversion.
    EXPECT_TRUE(ends_conversion(DiagnosticCode::syntax_error));
    EXPECT_FALSE(ends_conversion(DiagnosticCode::file_failed));
}

// Findings keep their code through the record by its published name; an
// entry that names a code the table does not know is not taken for another.
TEST(TreeReport, ARecordNamingAnUnknownCodeIsNotRead) {
    char pattern[] = "/tmp/tvconv-code-test.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = pattern, path = dir + "/record.json";
    auto entry = [](const std::string& target, const std::string& code) {
        return R"({"target":")" + target + R"(","source":")" + target +
               R"(","source_id":[1,2,3,4],"source_hash":"s","inputs":"i","written_hash":"w",)" +
               R"("target_id":[5,6,7,8],"findings":[{"code":")" + code +
               R"(","line":2,"message":"m"}]})";
    };
    std::ofstream(path) << R"({"format_version":1,"files":[)" << entry("a.html", "nul-byte")
                        << "]}\n";
    std::ofstream(path + ".journal") << entry("b.html", "no-such-code") << "\n"
                                     << entry("c.html", "stale-target") << "\n";
    {
        Record record;
        ASSERT_FALSE(record.open(path, "/s", "/t"));
        ASSERT_NE(record.find("a.html"), nullptr);
        EXPECT_EQ(record.find("a.html")->findings.at(0),
                  Finding::at(DiagnosticCode::nul_byte, 2, "m"));
        EXPECT_EQ(record.find("b.html"), nullptr);  // its journal line claims nothing
        ASSERT_NE(record.find("c.html"), nullptr);
        EXPECT_EQ(record.find("c.html")->findings.at(0).code, DiagnosticCode::stale_target);
    }
    std::ofstream(path) << R"({"format_version":1,"files":[)" << entry("a.html", "no-such-code")
                        << "]}\n";
    {
        Record record;
        Error error = record.open(path, "/s", "/t");
        EXPECT_NE(error.message().find("not a readable record"), std::string::npos)
            << error.message();
    }
    std::filesystem::remove_all(dir);
}

// The report model counts each file once, whatever became of it, and the
// exit status follows from the counts.
TEST(TreeReport, TheModelCountsOnceAndGivesTheExitStatus) {
    Options options;
    auto entry = [](const char* path, Kind kind, bool template_name = false) {
        Entry e;
        e.path = e.target = path;
        e.kind = kind;
        e.template_name = template_name;
        return e;
    };
    auto outcome = [](FileStatus status, Action action = Action::kNone) {
        FileOutcome r;
        r.status = status;
        r.action = action;
        return r;
    };
    std::vector<Entry> entries{
        entry("d", Kind::kDirectory),     entry("d/a.html", Kind::kTemplate),
        entry("d/b.gif", Kind::kFile),    entry("c.html", Kind::kTemplate),
        entry("e.html", Kind::kTemplate), entry("l.html", Kind::kSkipped, true)};
    std::vector<FileOutcome> outcomes{outcome(FileStatus::kFailed),
                                      outcome(FileStatus::kFailed),
                                      outcome(FileStatus::kFailed),
                                      outcome(FileStatus::kManual, Action::kWritten),
                                      outcome(FileStatus::kConverted, Action::kUnchanged),
                                      outcome(FileStatus::kSkipped)};
    // A directory that could not be made: its two files fail quietly and
    // count, the directory does not.
    outcomes[0].files_lost = 2;
    outcomes[1].quiet = outcomes[2].quiet = true;
    outcomes[3].findings = {Finding::at(DiagnosticCode::ambiguous_conversion, 4, "m"),
                            Finding::at(DiagnosticCode::reference_rewritten, 5, "r")};
    std::vector<char> finished(entries.size(), 1);
    {
        ReportModel model(options, entries, outcomes, finished, {}, false);
        EXPECT_EQ(model.count(Count::templates), 3u);
        EXPECT_EQ(model.count(Count::other_files), 1u);
        EXPECT_EQ(model.count(Count::failed), 2u);
        EXPECT_EQ(model.count(Count::manual), 1u);
        EXPECT_EQ(model.count(Count::written), 1u);
        EXPECT_EQ(model.count(Count::unchanged), 1u);
        EXPECT_EQ(model.count(Count::references_rewritten), 1u);
        EXPECT_EQ(model.count(Count::skipped), 1u);
        EXPECT_EQ(model.exit_status(), 1);
        // The findings of the conversion, then one per file left out, in
        // walk order; quiet failures say nothing of their own.
        std::vector<std::string> codes;
        for (const Located& l : model.findings()) codes.emplace_back(code_name(l.finding->code));
        EXPECT_EQ(codes, (std::vector<std::string>{"file-failed", "ambiguous-conversion",
                                                   "reference-rewritten", "template-skipped"}));
        const std::string summary = summary_text(model);
        EXPECT_NE(summary.find("  failed: 2\n    d/: \n"), std::string::npos) << summary;
        EXPECT_NE(summary.find("    c.html (1 diagnostic)\n"), std::string::npos) << summary;
    }
    // Only manual edits left: 3; interrupted: 130, whatever else.
    std::vector<char> some{0, 0, 0, 1, 1, 0};
    EXPECT_EQ(ReportModel(options, entries, outcomes, some, {}, false).exit_status(), 3);
    EXPECT_EQ(ReportModel(options, entries, outcomes, some, {}, true).exit_status(), 130);
    std::vector<char> none(entries.size(), 0);
    EXPECT_EQ(ReportModel(options, entries, outcomes, none, {}, false).exit_status(), 1);
}

// What the terminal repeats of an entry: below -v, no note about a file the
// run left as it was; with -q, no note at all. Warnings and what happened
// to the file always.
TEST(TreeReport, TheTerminalLeavesOutNotesItShowedBefore) {
    Entry e;
    e.path = e.target = "p.html";
    e.kind = Kind::kTemplate;
    FileOutcome r;
    r.status = FileStatus::kManual;
    r.findings = {Finding::at(DiagnosticCode::reference_rewritten, 1, "note"),
                  Finding::at(DiagnosticCode::ambiguous_conversion, 2, "warning")};
    r.findings[0].output_line = 11;
    r.findings[1].output_line = 12;
    const std::string both =
                          "p.html:11: note (source line 1)\np.html:12: warning (source line 2)\n",
                      warning = "p.html:12: warning (source line 2)\n";
    for (Action a : {Action::kWritten, Action::kNone, Action::kKept}) {
        r.action = a;
        EXPECT_EQ(entry_lines(e, r, Verbosity::kDefault), both) << action_name(a);
        EXPECT_EQ(entry_lines(e, r, Verbosity::kQuiet), warning) << action_name(a);
    }
    for (Action a : {Action::kUnchanged, Action::kRecorded}) {
        r.action = a;
        EXPECT_EQ(entry_lines(e, r, Verbosity::kDefault), warning) << action_name(a);
        EXPECT_EQ(entry_lines(e, r, Verbosity::kVerbose), both) << action_name(a);
    }
    // A skipped file that is no template is a note; one with a template's
    // name is an error.
    e.kind = Kind::kSkipped;
    FileOutcome skipped;
    skipped.status = FileStatus::kSkipped;
    skipped.reason = "not a regular file";
    EXPECT_EQ(entry_lines(e, skipped, Verbosity::kQuiet), "");
    EXPECT_EQ(entry_lines(e, skipped), "p.html: skipped: not a regular file\n");
    e.template_name = true;
    EXPECT_EQ(entry_lines(e, skipped, Verbosity::kQuiet), "p.html: skipped: not a regular file\n");
}

// A finding is shown where the user edits it: in the target written, at
// its line there, then the source's line (and name, when renamed); in the
// source when no target holds the conversion.
TEST(TreeReport, TheTerminalLocatesFindingsInTheTarget) {
    Entry e;
    e.path = "inc/_menu.cfg";
    e.target = "inc/menu.tvx";
    e.kind = Kind::kTemplate;
    FileOutcome r;
    r.status = FileStatus::kManual;
    r.action = Action::kWritten;
    r.findings = {Finding::at(DiagnosticCode::unconvertible_operator, 4, "remarked"),
                  Finding::at(DiagnosticCode::nul_byte, 2, "NUL"),
                  Finding::at(DiagnosticCode::utf8_bom, std::nullopt, "mark")};
    r.findings[0].output_line = 27;
    EXPECT_EQ(entry_lines(e, r),
              "inc/menu.tvx:27: remarked (source inc/_menu.cfg line 4)\n"
              "inc/menu.tvx: NUL (source inc/_menu.cfg line 2)\n"
              "inc/menu.tvx: mark (source inc/_menu.cfg)\n");
    // Kept as edited by hand: its lines are the user's.
    r.status = FileStatus::kEdited;
    r.findings.resize(1);
    r.reason = "edited by hand";
    EXPECT_EQ(entry_lines(e, r),
              "inc/menu.tvx: remarked (source inc/_menu.cfg line 4)\n"
              "inc/menu.tvx: edited by hand\n");
    // Not written: the source as it was.
    e.path = e.target = "p.html";
    r.status = FileStatus::kFailed;
    r.reason = "syntax error";
    EXPECT_EQ(entry_lines(e, r), "p.html:4: remarked\np.html: failed: syntax error; not written\n");
}

// An interrupted --check wrote nothing, and its next: line does not say
// that what was written is kept.
TEST(TreeReport, TheNextLineOfAnInterruptedRun) {
    Entry e;
    e.path = e.target = "a.html";
    e.kind = Kind::kTemplate;
    FileOutcome r;
    r.status = FileStatus::kConverted;
    std::vector<Entry> entries{e};
    std::vector<FileOutcome> outcomes{r};
    std::vector<char> finished{1};
    Options options;
    options.check = true;
    auto next = [&] {
        const std::string text =
            summary_text(ReportModel(options, entries, outcomes, finished, {}, true));
        return text.substr(text.rfind("next:"));
    };
    EXPECT_EQ(next(), "next: run the same command again to finish\n");
    options.check = false;
    EXPECT_EQ(next(), "next: run the same command again to finish; what was written is kept\n");
}

// A ^macro_use argument names the file of the site found from the page's
// folder, or from the root for a rooted path, with either separator.
TEST(TreeConverter, ReferencesAreResolvedAgainstThePagesFolder) {
    EXPECT_EQ(referenced_path("index.html", "inc/_m.cfg"), "inc/_m.cfg");
    EXPECT_EQ(referenced_path("a/b/p.html", "_m.cfg"), "a/b/_m.cfg");
    EXPECT_EQ(referenced_path("a/b/p.html", "../inc/./_m.cfg"), "a/inc/_m.cfg");
    EXPECT_EQ(referenced_path("a/b/p.html", "/inc//_m.cfg"), "inc/_m.cfg");
    EXPECT_EQ(referenced_path("a/b/p.html", "\\inc\\_m.cfg"), "inc/_m.cfg");
    EXPECT_EQ(referenced_path("a/p.html", "x/../../_m.cfg"), "_m.cfg");
    EXPECT_EQ(referenced_path("a/p.html", "../../_m.cfg"), std::nullopt);  // out of the site
    EXPECT_EQ(referenced_path("p.html", "/../_m.cfg"), std::nullopt);
}

// The SARIF log keeps the most severe findings within its limits, in the
// report's order, and once one is left out nothing less severe is kept.
TEST(TreeReport, SarifKeepsTheMostSevereWithinItsLimits) {
    Options options;
    Entry entry;
    entry.path = entry.target = "p.html";
    entry.kind = Kind::kTemplate;
    std::vector<Entry> entries{entry};
    FileOutcome outcome;
    outcome.status = FileStatus::kFailed;
    outcome.reason = "syntax error";
    outcome.findings = {Finding::at(DiagnosticCode::reference_rewritten, 1, "note"),
                        Finding::at(DiagnosticCode::unconvertible_operator, 2, "w1"),
                        Finding::at(DiagnosticCode::unconvertible_operator, 3, "w2"),
                        Finding::at(DiagnosticCode::syntax_error, 4, "error")};
    std::vector<FileOutcome> outcomes{outcome};
    std::vector<char> finished{1};
    ReportModel model(options, entries, outcomes, finished, {}, false);
    // note, w1, w2, error, then "failed: syntax error" (an error).
    ASSERT_EQ(model.findings().size(), 5u);
    auto kept = [](const SarifSelection& s) { return std::string(s.kept.begin(), s.kept.end()); };
    using K = std::string;

    SarifSelection all = sarif_selection(model);
    EXPECT_EQ(kept(all), K(5, '\1'));
    EXPECT_EQ(sarif_left_out_line(all), "");
    EXPECT_EQ(sarif_report(model, "/s", all).find("resultsLeftOut"), std::string::npos);

    SarifSelection three = sarif_selection(model, {3, 1'000'000});
    EXPECT_EQ(kept(three), K("\0\1\0\1\1", 5));
    EXPECT_EQ(three.left_out[std::size_t(Severity::warning)], 1u);
    EXPECT_EQ(three.left_out[std::size_t(Severity::note)], 1u);
    EXPECT_EQ(sarif_left_out_line(three),
              "tvconv-tree: the SARIF log holds 3 of 5 findings, the most severe first; left out: "
              "1 warning, 1 note (the JSON report has them all)\n");
    const std::string log = sarif_report(model, "/s", three);
    EXPECT_NE(log.find("\"text\": \"w1\""), std::string::npos);
    EXPECT_EQ(log.find("\"text\": \"w2\""), std::string::npos);
    EXPECT_NE(log.find("\"resultsLeftOut\": {\n          \"error\": 0,\n          \"warning\": 1,"),
              std::string::npos);

    // Too few bytes for the second error: nothing after it is kept, though
    // a short note would fit.
    SarifSelection bytes = sarif_selection(model, {100, 500});
    EXPECT_EQ(kept(bytes), K("\0\0\0\1\0", 5));
    EXPECT_EQ(bytes.left_out[std::size_t(Severity::error)], 1u);
}

// The escaping policies of the SARIF log: paths as URI references, text
// with each stray byte shown.
TEST(TreeReport, UrisAndUnicodeTextKeepEveryByte) {
    EXPECT_EQ(escape("d\xc3\xa9/a b%.html~", uri_policy()), "d%C3%A9/a%20b%25.html~");
    EXPECT_EQ(escape("caf\xc3\xa9 \xe9\n", unicode_policy()), "caf\xc3\xa9 \\xe9\n");
}

// The plan decides from the walk, stat and what the writer says lies at the
// target; nothing of the file is read.
TEST(TreePlan, EachEntryGetsItsStep) {
    class Stub final : public Writer {
      public:
        FileRecord known;
        bool target_changed = false;
        std::size_t prepare(const std::vector<Entry>&) override { return 0; }
        Error make_directory(const std::string&) override { return {}; }
        Error inspect(const std::string& rel, TargetState& state) override {
            if (rel == "refused.html")
                return Error::because("refused to write inside the source tree");
            if (rel == "same.html") {
                state.known = &known;
                state.id = known.target_id;
                if (target_changed) state.id->mtime_ns += 1;
            }
            return {};
        }
        void commit_template(const Entry&, const Plan&, std::string_view, std::string_view,
                             FileOutcome&, unsigned) override {}
        void commit_copy(const Entry&, const Plan&, FileOutcome&, unsigned) override {}
        std::vector<Stale> stale(const std::vector<Entry>&) override { return {}; }
        Error finish() override { return {}; }
    } writer;
    char pattern[] = "/tmp/tvconv-plan-test.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string root = pattern;
    for (const char* name : {"refused.html", "same.html", "new.html", "a.gif"})
        std::ofstream(root + "/" + name) << "x";
    struct stat st;
    ASSERT_EQ(::stat((root + "/same.html").c_str(), &st), 0);
    const std::string inputs = "i", copy_inputs = "c";
    writer.known =
        FileRecord{"same.html", identity_of(st), "s", inputs, "w", {1, 2, 3, 4}, {}, {}, {}};
    writer.known.findings = {Finding::at(DiagnosticCode::nul_byte, 1, "m")};
    PlanContext context{root, true, false, inputs, copy_inputs};
    auto step = [&](const char* path, Kind kind, const char* problem = "") {
        Entry e;
        e.path = e.target = path;
        e.kind = kind;
        e.problem = problem;
        Plan plan = plan_entry(e, context, writer);
        if (plan.step != Step::kFinal) return std::to_string(int(plan.step));
        return std::string(file_status_name(plan.outcome.status)) + ": " + plan.outcome.reason;
    };
    EXPECT_EQ(step("l.html", Kind::kSkipped, "a link"), "skipped: a link");
    EXPECT_EQ(step(".git", Kind::kExcluded, "version control"), "excluded: version control");
    EXPECT_EQ(step("twice.html", Kind::kTemplate, "two sources"), "failed: two sources");
    EXPECT_EQ(step("gone.html", Kind::kTemplate), "failed: cannot read: No such file or directory");
    EXPECT_EQ(step("refused.html", Kind::kTemplate),
              "failed: refused to write inside the source tree");
    EXPECT_EQ(step("same.html", Kind::kTemplate), std::to_string(int(Step::kUnchanged)));
    EXPECT_EQ(step("new.html", Kind::kTemplate), std::to_string(int(Step::kConvert)));
    EXPECT_EQ(step("a.gif", Kind::kFile), std::to_string(int(Step::kCopy)));
    // A target changed since (edited by hand, or replaced) is for the
    // commit to look at; so is one recorded under other inputs (another
    // version, another set of renamed macro files).
    writer.target_changed = true;
    EXPECT_EQ(step("same.html", Kind::kTemplate), std::to_string(int(Step::kConvert)));
    writer.target_changed = false;
    writer.known.inputs = "other";
    EXPECT_EQ(step("same.html", Kind::kTemplate), std::to_string(int(Step::kConvert)));
    context.copy = false;
    EXPECT_EQ(step("a.gif", Kind::kFile), "not_copied: ");
    std::filesystem::remove_all(root);
}

TEST(TreeOptions, CommandLines) {
    auto p = parse_command_line({"src", "dst"});
    ASSERT_EQ(p.command, Command::kRun);
    EXPECT_EQ(p.options.source, "src");
    EXPECT_EQ(p.options.target, "dst");
    EXPECT_TRUE(p.options.copy);
    EXPECT_EQ(p.options.jobs, 0u);

    p = parse_command_line({"--ext=.HTM, tpl", "-j4", "--no-copy", "--report", "r.json", "s", "d"});
    ASSERT_EQ(p.command, Command::kRun);
    EXPECT_EQ(p.options.extensions, (std::vector<std::string>{"htm", "tpl"}));
    EXPECT_EQ(p.options.jobs, 4u);
    EXPECT_FALSE(p.options.copy);
    EXPECT_EQ(p.options.report, "r.json");

    p = parse_command_line({"--check", "--", "-src"});
    ASSERT_EQ(p.command, Command::kRun);
    EXPECT_EQ(p.options.source, "-src");
    EXPECT_TRUE(p.options.target.empty());

    for (auto args : std::vector<std::vector<std::string>>{{"src"},
                                                           {"a", "b", "c"},
                                                           {"--ext", ",", "a", "b"},
                                                           {"-j", "0", "a", "b"},
                                                           {"--jobs"},
                                                           {"--no-copy=1", "a", "b"},
                                                           {"-x", "a", "b"}}) {
        EXPECT_EQ(parse_command_line(args).command, Command::kUsageError) << args[0];
    }
    EXPECT_EQ(parse_command_line({"a", "--help"}).command, Command::kHelp);

    // -q and -v: the last one counts.
    EXPECT_EQ(parse_command_line({"s", "d"}).options.verbosity, Verbosity::kDefault);
    EXPECT_EQ(parse_command_line({"-q", "s", "d"}).options.verbosity, Verbosity::kQuiet);
    EXPECT_EQ(parse_command_line({"--quiet", "-v", "s", "d"}).options.verbosity,
              Verbosity::kVerbose);
    EXPECT_EQ(parse_command_line({"-vq", "s", "d"}).options.verbosity, Verbosity::kQuiet);
    EXPECT_EQ(parse_command_line({"--verbose=1", "s", "d"}).command, Command::kUsageError);
}

// Each usage error says what is wrong, in these words.
TEST(TreeOptions, UsageErrorMessages) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--no-copy=1", "a", "b"}, "option --no-copy takes no value"},
        {{"--diff=3", "a"}, "option --diff takes no value"},
        {{"--report"}, "option --report needs a value"},
        {{"-j"}, "option --jobs needs a value"},
        {{"-x", "a", "b"}, "unknown option '-x'"},
        {{"--frob", "a", "b"}, "unknown option '--frob'"},
        {{"--state=", "a", "b"}, "--state needs a file name"},
        {{"--report=", "a", "b"}, "--report needs a file name"},
        {{"--html=", "a", "b"}, "--html needs a file name"},
        {{"--sarif=", "a", "b"}, "--sarif needs a file name"},
        {{"--exclude=", "a", "b"}, "--exclude needs a pattern"},
        {{"-j", "0", "a", "b"}, "-j needs a number of jobs from 1 to 1024, not '0'"},
        {{"--ext", ",", "a", "b"},
         "--ext: empty extension in ',' (separate extensions with commas: html,htm,cfg)"},
        {{"--ext", "a*b", "a", "b"},
         "--ext: 'a*b' is not a file-name extension (separate extensions with commas; no "
         "blanks, globs or slashes)"},
        {{"--diff", "--report", "-", "a"}, "--diff and --report - both write to standard output"},
        {{"a", "b", "c"}, "too many arguments"},
        {{"a"}, "missing SOURCE_DIR or TARGET_DIR"},
        {{"--check"}, "missing SOURCE_DIR"},
        {{"a", ""}, "empty directory name"},
    };
    for (const auto& [args, message] : cases) {
        ParsedCommandLine p = parse_command_line(args);
        EXPECT_EQ(p.command, Command::kUsageError) << args[0];
        EXPECT_EQ(p.error, message) << args[0];
    }
    // The first error wins; --help and --version win over missing operands.
    EXPECT_EQ(parse_command_line({"-x", "--frob"}).error, "unknown option '-x'");
    EXPECT_EQ(parse_command_line({"--version"}).command, Command::kVersion);
}

TEST(TreeProgress, TheLineFitsAndKeepsTheFileName) {
    EXPECT_EQ(progress_line(5, 10, "a.html", 80), "[##########..........] 5/10 a.html");
    std::string line = progress_line(1, 3, "deep/dir/structure/page.html", 40);
    EXPECT_EQ(line, "[######..............] 1/3 ...page.html");
    EXPECT_LT(line.size(), 40u);
    EXPECT_EQ(progress_line(0, 0, "x", 10), "[########");
}

// Many templates, some with diagnostics and some broken, converted one at a
// time and four at a time: the report and the tree must not differ.
class TreeRun : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/tvconv-tree-test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        namespace fs = std::filesystem;
        for (int i = 0; i < 60; ++i) {
            std::string d = std::to_string(i % 4), t = std::to_string(i);
            fs::path sub = dir_ / "src" / d.insert(0, 1, 'd');
            fs::create_directories(sub);
            std::ofstream f(sub / t.insert(0, 1, 't').append(i % 5 == 0 ? ".cfg" : ".html"));
            for (int k = 0; k < i % 7; ++k) f << "line $" << k << "\n";
            if (i % 3 == 0) f << "^macro_exists[" << i << "]\n";
            if (i % 11 == 0) f << "^if x\n";
        }
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string run_with(unsigned jobs, const std::string& target, int& status) {
        Options o;
        o.source = (dir_ / "src").string();
        o.target = (dir_ / target).string();
        o.jobs = jobs;
        o.state = (dir_ / (target + ".record")).string();
        char* text = nullptr;
        std::size_t size = 0;
        std::FILE* report = open_memstream(&text, &size);
        status = run(o, report, false);
        std::fclose(report);
        std::string result(text, size);
        std::free(text);
        return result;
    }

    std::string tree(const std::string& target) {
        std::string all;
        std::vector<std::filesystem::path> files;
        for (auto& e : std::filesystem::recursive_directory_iterator(dir_ / target))
            files.push_back(e.path());
        std::sort(files.begin(), files.end());
        for (auto& p : files) {
            all += p.lexically_relative(dir_ / target).string() + "\n";
            if (std::filesystem::is_regular_file(p)) {
                std::ifstream f(p, std::ios::binary);
                all.append(std::istreambuf_iterator<char>(f), {});
            }
        }
        return all;
    }

    std::filesystem::path dir_;
};

TEST_F(TreeRun, FourJobsGiveExactlyWhatOneGives) {
    int one = -1, four = -1;
    std::string sequential = run_with(1, "one", one);
    std::string parallel = run_with(4, "four", four);
    EXPECT_EQ(one, 1);
    EXPECT_EQ(four, 1);
    EXPECT_EQ(sequential, parallel);
    EXPECT_EQ(tree("one"), tree("four"));
    // Every eleventh template (t0 to t55) ends in a syntax error; every third
    // has a macro_exists diagnostic, t0 and t33 of them failed.
    EXPECT_NE(sequential.find("  failed: 6\n"), std::string::npos) << sequential;
    EXPECT_NE(sequential.find("  converted with manual edits left: 18\n"), std::string::npos);
}

}  // namespace
}  // namespace tvconv::tree
