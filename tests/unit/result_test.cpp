// The result of a conversion as callers see it: every diagnostic code with
// its record, the published code names, the statuses, where the output
// stands among the diagnostics, the diagnostic callback, and the two entry
// points.
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/convert.h"

namespace tvconv {
namespace {

std::string repeat(std::string_view s, int n) {
    std::string r;
    for (int i = 0; i < n; ++i) r += s;
    return r;
}

// Each ^-f writes its argument twice: 40 levels would need a terabyte.
std::string exponential_output() {
    return repeat("^-f[", 40) + "x" + repeat("]", 40);
}

constexpr std::size_t kOneMegabyte = std::size_t{1} << 20;

// A directory opens for reading on Linux, but reading it fails (EISDIR).
Result convert_a_directory(const ConvertOptions& options = {}) {
    std::FILE* dir = std::fopen(TVCONV_GOLDEN_DIR, "r");
    if (!dir) {
        ADD_FAILURE() << "cannot open " << TVCONV_GOLDEN_DIR;
        return {};
    }
    Result r = convert(dir, options);
    std::fclose(dir);
    return r;
}

struct CodeCase {
    DiagnosticCode code;
    std::string input;
    Status status;
    std::optional<int> line;
    std::string subject;
    std::string message;
    std::string without_line;
    std::size_t max_text_bytes = TextPool::kUnbounded;
    bool read_a_directory = false;
    bool rename_macro_files = false;  // as a whole-site migration does
};

std::vector<CodeCase> code_cases() {
    const std::string mime =
        "MIME-TYPES correspondence table must be defined as table in MAIN (see "
        "http://www.tavrin.example/docs/lang/tavrinconfmethod.htm for example) and can be "
        "predefined for standard types; removed (!), edit manually";
    const std::string predefinitions =
        ": you must change extension of all files with macros from .cfg to .tvx and remove "
        "leading '_', if you've used tavrin.cfg you must rename it to auto.tvx everywhere it is";
    return {
        {DiagnosticCode::unconvertible_operator, "\n\n^ascii[x]", Status::accepted, 3, "ascii",
         "Unconvertible operator 'ascii' (line 3): remarked, edit manually",
         "Unconvertible operator 'ascii': remarked, edit manually"},
        // A construction is no literal character code.
        {DiagnosticCode::unconvertible_form, "^char[^var[x]]", Status::accepted, 1, "char",
         "Unconvertible form of 'char' (line 1): remarked, edit manually",
         "Unconvertible form of 'char': remarked, edit manually"},
        {DiagnosticCode::unconvertible_form, "x\n^sort[price;-x]", Status::accepted, 2, "sort",
         "Unconvertible form of 'sort' (line 2): remarked, edit manually",
         "Unconvertible form of 'sort': remarked, edit manually"},
        // The line is quoted before a ";", not a ":".
        {DiagnosticCode::unconvertible_form, "^config[a;b]", Status::accepted, 1, "config",
         "Unconvertible form of 'config' operator (line 1); remarked, edit manually",
         "Unconvertible form of 'config' operator; remarked, edit manually"},
        {DiagnosticCode::unconvertible_parameter, "^download[a;b;c]", Status::accepted, 1,
         "download",
         "Unconvertible parameter 'mime-type' in operator 'download' (line 1): you have to "
         "configure MIME-TYPES table if your type is unusual",
         "Unconvertible parameter 'mime-type' in operator 'download': you have to configure "
         "MIME-TYPES table if your type is unusual"},
        // The subject is the operator of the target that needs the check.
        {DiagnosticCode::ambiguous_conversion, "^server[a;b]", Status::accepted, 1, "connect",
         "No monosemantic conversion for 'connect' (line 1): check first parameter - for Oracle "
         "and ODBC you have to modify it",
         "No monosemantic conversion for 'connect': check first parameter - for Oracle and ODBC "
         "you have to modify it"},
        {DiagnosticCode::predefinitions_changed, "^macro_use[x]", Status::accepted, 1, "macro_use",
         "Predefinitions changed (line 1)" + predefinitions,
         "Predefinitions changed" + predefinitions},
        // Reported when the definition ends: on the line after its body.
        {DiagnosticCode::mime_types_removed,
         "@main\nA\n@MIME_TYPES\nzip application/zip\n\n@main\nB\n", Status::accepted, 6,
         "MIME_TYPES", "Unconvertible macro 'MIME_TYPES' (line 6): " + mime,
         "Unconvertible macro 'MIME_TYPES': " + mime},
        {DiagnosticCode::syntax_error, "a\n^if x", Status::syntax_error, 2, "",
         "Unrecognized sequence (line 2): parse error, unexpected SPACE, expecting SQBRO near ' '",
         "Unrecognized sequence: parse error, unexpected SPACE, expecting SQBRO near ' '"},
        {DiagnosticCode::stack_overflow, repeat("^if[", 2600), Status::stack_overflow, 1, "",
         "Unrecognized sequence (line 1): parser stack overflow near 'if'",
         "Unrecognized sequence: parser stack overflow near 'if'"},
        {DiagnosticCode::scanner_fatal, "", Status::scanner_fatal, std::nullopt, "",
         "input in flex scanner failed", "input in flex scanner failed", TextPool::kUnbounded,
         true},
        {DiagnosticCode::out_of_memory, exponential_output(), Status::out_of_memory, std::nullopt,
         "", "tvconv: out of memory", "tvconv: out of memory", kOneMegabyte},
        {DiagnosticCode::reference_rewritten, "\n^macro_use[inc/_menu.cfg]", Status::accepted, 2,
         "macro_use", "reference rewritten (line 2): inc/_menu.cfg -> inc/menu.tvx",
         "reference rewritten: inc/_menu.cfg -> inc/menu.tvx", TextPool::kUnbounded, false, true},
    };
}

TEST(DiagnosticCodes, EachIsReportedWithItsLineSubjectAndExactMessage) {
    std::set<DiagnosticCode> reported;
    for (const CodeCase& c : code_cases()) {
        SCOPED_TRACE(std::string(code_name(c.code)) + " from " + c.input.substr(0, 40));
        ConvertOptions options;
        options.max_text_bytes = c.max_text_bytes;
        if (c.rename_macro_files) {
            options.renamed_macro_file = [](std::string_view name,
                                            std::string_view) -> std::optional<std::string> {
                if (name != "_menu.cfg") return std::nullopt;
                return std::string("menu.tvx");
            };
        }
        Result r = c.read_a_directory ? convert_a_directory(options) : convert(c.input, options);
        EXPECT_EQ(r.status, c.status);
        ASSERT_EQ(r.diagnostics.size(), 1u);
        const Diagnostic& d = r.diagnostics[0];
        EXPECT_EQ(d.code, c.code);
        EXPECT_EQ(d.line, c.line);
        EXPECT_EQ(d.subject, c.subject);
        EXPECT_EQ(d.message, c.message);
        EXPECT_EQ(d.message_without_line(), c.without_line);
        // Exactly the codes that end a conversion leave a status other than
        // accepted.
        EXPECT_EQ(ends_conversion(d.code), r.status != Status::accepted);
        reported.insert(d.code);
    }
    EXPECT_EQ(reported, std::set<DiagnosticCode>(std::begin(kAllDiagnosticCodes),
                                                 std::end(kAllDiagnosticCodes)));
}

// The names are a published contract: reports, manual pages and editors'
// problem matchers use them. This list changes only by adding at its end.
TEST(DiagnosticCodes, NamesAreThePublishedOnes) {
    const std::vector<std::string_view> published = {
        "unconvertible-operator", "unconvertible-form",     "unconvertible-parameter",
        "ambiguous-conversion",   "predefinitions-changed", "mime-types-removed",
        "syntax-error",           "stack-overflow",         "scanner-fatal",
        "out-of-memory",          "reference-rewritten",
    };
    std::vector<std::string_view> names;
    for (DiagnosticCode code : kAllDiagnosticCodes) names.push_back(code_name(code));
    EXPECT_EQ(names, published);
    EXPECT_EQ(std::set<std::string_view>(names.begin(), names.end()).size(), names.size());
    const std::regex kebab("[a-z]+(-[a-z]+)*");
    for (std::string_view n : names) EXPECT_TRUE(std::regex_match(n.begin(), n.end(), kebab)) << n;
}

TEST(Statuses, HaveTheirPublishedNames) {
    EXPECT_EQ(status_name(Status::accepted), "accepted");
    EXPECT_EQ(status_name(Status::syntax_error), "syntax-error");
    EXPECT_EQ(status_name(Status::stack_overflow), "stack-overflow");
    EXPECT_EQ(status_name(Status::scanner_fatal), "scanner-fatal");
    EXPECT_EQ(status_name(Status::out_of_memory), "out-of-memory");
}

// Only an error after the whole document leaves one behind, and only the
// ending error comes after it.
TEST(OutputPlacement, PresentOnlyWhenTheDocumentWasComplete) {
    Result after = convert(std::string_view("^ascii[x]\na $x\n^[b]"));
    EXPECT_EQ(after.status, Status::syntax_error);
    EXPECT_TRUE(after.output.present());
    EXPECT_EQ(after.output.str(), "^rem{^ascii[x]}\na ^$x\n^^");
    ASSERT_EQ(after.diagnostics.size(), 2u);
    EXPECT_EQ(after.diagnostics_before_output, 1u);
    EXPECT_EQ(
        after.diagnostics[1].message,
        "Unrecognized sequence (line 3): parse error, unexpected SQBRO, expecting $ near '['");

    Result inside = convert(std::string_view("^ascii[x]\n^if[a"));
    EXPECT_EQ(inside.status, Status::syntax_error);
    EXPECT_FALSE(inside.output.present());
    EXPECT_EQ(inside.output.size(), 0u);
    EXPECT_EQ(inside.diagnostics.size(), 2u);
    EXPECT_EQ(inside.diagnostics_before_output, 2u);

    Result accepted = convert(std::string_view("^ascii[x]\n^char[^var[y]]"));
    EXPECT_EQ(accepted.status, Status::accepted);
    EXPECT_TRUE(accepted.output.present());
    EXPECT_EQ(accepted.diagnostics.size(), 2u);
    EXPECT_EQ(accepted.diagnostics_before_output, 2u);

    // Empty, but a document all the same.
    Result empty = convert(std::string_view(""));
    EXPECT_TRUE(empty.output.present());
    EXPECT_EQ(empty.output.str(), "");

    Result overflow = convert(std::string_view(repeat("^if[", 2600)));
    EXPECT_FALSE(overflow.output.present());
    EXPECT_EQ(overflow.diagnostics_before_output, 1u);
    Result fatal = convert_a_directory();
    EXPECT_FALSE(fatal.output.present());
    EXPECT_EQ(fatal.diagnostics_before_output, 1u);
    ConvertOptions bounded;
    bounded.max_text_bytes = kOneMegabyte;
    Result oom = convert(exponential_output(), bounded);
    EXPECT_FALSE(oom.output.present());
    EXPECT_EQ(oom.output.str(), "");
}

std::string written(const Output& output, bool* ok) {
    std::FILE* f = std::tmpfile();
    if (!f) {
        ADD_FAILURE() << "tmpfile";
        return {};
    }
    *ok = output.write(f);
    std::rewind(f);
    std::string s;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    std::fclose(f);
    return s;
}

TEST(OutputPieces, WriteGivesExactlyTheBytesOfStr) {
    // Helper methods, a taint block, the document and the definitions after
    // the first: every kind of piece.
    const std::string input =
        "@a\nA\n@b[p]\n^item[x]\n@main\nM $x\n^optimize[no]^date[%B]\n@c\nC\n" +
        std::string(20000, 'z');
    Result r = convert(input);
    ASSERT_EQ(r.status, Status::accepted);
    const std::string s = r.output.str();
    EXPECT_EQ(s.size(), r.output.size());
    EXPECT_NE(s.find("\n@main[]\n"), std::string::npos);
    EXPECT_NE(s.find("^taint[html]["), std::string::npos);
    bool ok = false;
    EXPECT_EQ(written(r.output, &ok), s);
    EXPECT_TRUE(ok);

    std::string pieces;
    r.output.for_each_piece([&](std::string_view p) { pieces += p; });
    EXPECT_EQ(pieces, s);
}

TEST(OutputPieces, WriteReportsAFailedWrite) {
    Result r = convert(std::string_view("some text"));
    std::FILE* read_only = std::fopen("/dev/null", "r");
    ASSERT_TRUE(read_only);
    EXPECT_FALSE(r.output.write(read_only));
    std::fclose(read_only);
}

// The output lines of a conversion's diagnostics, in order.
std::vector<std::optional<int>> output_lines(std::string_view input) {
    std::vector<std::optional<int>> lines;
    for (const Diagnostic& d : convert(input).diagnostics) lines.push_back(d.output_line);
    return lines;
}

using Lines = std::vector<std::optional<int>>;

TEST(OutputLines, CountTheHelperMethodsAndFramesLaidOutFirst) {
    // A definition becomes a helper ahead of @main[]; text before the first
    // definition is dropped, and its remark with it.
    EXPECT_EQ(output_lines("^ascii[x]\n@main[]\nok\n^char[^var[y]]\n@other[a]\nline\n"
                           "^server[a;b]\n"),
              (Lines{std::nullopt, 9, 3}));
    // A repeated definition equal to the first is not laid out again.
    EXPECT_EQ(output_lines("@a\n^ascii[1]\n@a\n^ascii[1]\n@main\nx ^ascii[2]\n"),
              (Lines{2, std::nullopt, 7}));
    EXPECT_EQ(output_lines("^optimize[no]\n\n^ascii[x]\n"), (Lines{3}));
    // A construct spread over lines is on the line it begins (its source
    // line is that of its end); one nested in another is on its own line.
    EXPECT_EQ(output_lines("^sort[a;^ascii[\n\nx]]\n^config[^ascii[y];b]"), (Lines{1, 1, 4, 4}));
    EXPECT_EQ(output_lines("^config[a;b\n\n^ascii[x]]"), (Lines{3, 1}));
}

TEST(OutputLines, NoneForWhatTheOutputDoesNotHold) {
    const Lines none{std::nullopt};
    EXPECT_EQ(output_lines("@main\nA\n@MIME_TYPES\nzip application/zip\n"), none);
    EXPECT_EQ(output_lines("a\n^if x"), none);
    EXPECT_EQ(output_lines("^ascii[x]\n^if x"), (Lines{std::nullopt, std::nullopt}));
    // A remark inside a construct whose arguments are dropped.
    EXPECT_EQ(output_lines("^include[^ascii[x];y]"), none);
}

// Far into a large document, and past reads of the input: every line feed
// before a construct is counted, whichever piece holds it.
TEST(OutputLines, CountEveryLineFeedOfALargeDocument) {
    std::string input = "@main\n";
    for (int i = 0; i < 20000; ++i) input += "line ^var[x]\n";
    input += "^ascii[x]\n@other\n";
    for (int i = 0; i < 300; ++i) input += "t\n";
    input += "^char[^var[y]]";
    // The helper: its header, 300 lines, the remark; two blank lines and
    // @main[]; then the document.
    EXPECT_EQ(output_lines(input), (Lines{302 + 3 + 20000 + 1, 302}));
}

struct Told {
    Diagnostic diagnostic;
    bool after_document;
};

std::vector<Told> told_of(std::string_view input, Result* result,
                          std::size_t max_text_bytes = TextPool::kUnbounded) {
    std::vector<Told> told;
    ConvertOptions options;
    options.max_text_bytes = max_text_bytes;
    options.on_diagnostic = [&](const Diagnostic& d, bool after) { told.push_back({d, after}); };
    *result = convert(input, options);
    return told;
}

TEST(DiagnosticCallback, ToldOfEachDiagnosticOnceInOrder) {
    Result r;
    std::vector<Told> told = told_of("^ascii[x]\n^char[^var[y]]\n^server[a;b]", &r);
    ASSERT_EQ(told.size(), 3u);
    ASSERT_EQ(r.diagnostics.size(), 3u);
    for (std::size_t i = 0; i < told.size(); ++i) {
        // Told before the layout, so without the output line the result has.
        EXPECT_FALSE(told[i].diagnostic.output_line) << i;
        EXPECT_EQ(r.diagnostics[i].output_line, int(i) + 1) << i;
        Diagnostic laid_out = told[i].diagnostic;
        laid_out.output_line = r.diagnostics[i].output_line;
        EXPECT_EQ(laid_out, r.diagnostics[i]) << i;
        EXPECT_FALSE(told[i].after_document) << i;
    }
    EXPECT_EQ(told[2].diagnostic.line, 3);

    // An error after the document is told as such.
    told = told_of("^ascii[x]\n^[", &r);
    ASSERT_EQ(told.size(), 2u);
    EXPECT_FALSE(told[0].after_document);
    EXPECT_TRUE(told[1].after_document);
    EXPECT_EQ(told[1].diagnostic, r.diagnostics[1]);
    EXPECT_EQ(told[1].diagnostic.code, DiagnosticCode::syntax_error);

    // Errors that end the conversion inside the document.
    told = told_of("^if[a", &r);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_FALSE(told[0].after_document);
    EXPECT_EQ(told[0].diagnostic, r.diagnostics[0]);

    std::vector<Told> fatal;
    ConvertOptions options;
    options.on_diagnostic = [&](const Diagnostic& d, bool after) { fatal.push_back({d, after}); };
    r = convert_a_directory(options);
    ASSERT_EQ(fatal.size(), 1u);
    EXPECT_EQ(fatal[0].diagnostic.code, DiagnosticCode::scanner_fatal);
    EXPECT_FALSE(fatal[0].after_document);

    // Not told of running out of memory: the result reports it.
    told = told_of(exponential_output(), &r, kOneMegabyte);
    EXPECT_TRUE(told.empty());
    EXPECT_EQ(r.status, Status::out_of_memory);
}

// A terminal user sees a line's diagnostics when the line is converted,
// not when the whole input has been read.
TEST(DiagnosticCallback, ToldBeforeTheRestOfTheInputIsRead) {
    constexpr std::size_t kRead = ScannerState::kDefaultReadBlock;
    std::string input = "^ascii[x]\n" + std::string(4 * kRead, 'a');
    std::FILE* in = fmemopen(input.data(), input.size(), "r");
    ASSERT_TRUE(in);
    long position_when_told = -1;
    ConvertOptions options;
    options.on_diagnostic = [&](const Diagnostic&, bool) { position_when_told = std::ftell(in); };
    Result r = convert(in, options);
    std::fclose(in);
    EXPECT_EQ(r.status, Status::accepted);
    EXPECT_GT(position_when_told, 0);
    EXPECT_LE(position_when_told, static_cast<long>(kRead));
}

void expect_same_result(const Result& a, const Result& b) {
    EXPECT_EQ(a.status, b.status);
    EXPECT_EQ(a.output.present(), b.output.present());
    EXPECT_TRUE(a.output.str() == b.output.str());
    EXPECT_EQ(a.diagnostics, b.diagnostics);
    EXPECT_EQ(a.diagnostics_before_output, b.diagnostics_before_output);
}

// convert(FILE*) reads from the stream's current position; the bytes are
// those that convert(string_view) is given.
TEST(EntryPoints, AStreamAndTheSameBytesInMemoryAgree) {
    const std::string skipped = "^if[ skipped";
    const std::vector<std::string> inputs = {
        "",
        "plain (text) $x;\n",
        std::string("a\0\xff b\r\n", 7),
        "^ascii[x]\n^item[y]^optimize[no]\n@m\nbody\n",
        "lead\n@main\n^date[%B]\n^[",
        "^if[a;b",
        repeat("^if[", 2600),
        // Across the stream's reads.
        repeat("^eval[$a] (b) ^macro[m;x]\n", 6000) + "^ascii[end]",
    };
    for (const std::string& input : inputs) {
        SCOPED_TRACE(input.substr(0, 40));
        std::FILE* f = std::tmpfile();
        ASSERT_TRUE(f);
        const std::string contents = skipped + input;
        ASSERT_EQ(std::fwrite(contents.data(), 1, contents.size(), f), contents.size());
        ASSERT_EQ(std::fseek(f, static_cast<long>(skipped.size()), SEEK_SET), 0);
        Result from_stream = convert(f);
        std::fclose(f);
        expect_same_result(from_stream, convert(input));
    }
}

}  // namespace
}  // namespace tvconv

namespace tvconv {
namespace {

// Only a literal argument that names a renamed macro file is rewritten; its
// directory part stays as converted. Anything else keeps the warning.
TEST(ReferenceRewriting, OnlyLiteralNamesOfRenamedFiles) {
    ConvertOptions options;
    options.renamed_macro_file = [](std::string_view name,
                                    std::string_view) -> std::optional<std::string> {
        if (name == "_menu.cfg") return std::string("menu.tvx");
        if (name == "tavrin.cfg") return std::string("auto.tvx");
        return std::nullopt;
    };
    struct Case {
        std::string input, output;
        DiagnosticCode code;
        std::string message;
    } cases[] = {
        {"^macro_use[tavrin.cfg]", "^macro_use[auto.tvx]", DiagnosticCode::reference_rewritten,
         "reference rewritten (line 1): tavrin.cfg -> auto.tvx"},
        {"^macro_use[a(b)/_menu.cfg]", "^macro_use[a^(b^)/menu.tvx]",
         DiagnosticCode::reference_rewritten,
         "reference rewritten (line 1): a(b)/_menu.cfg -> a(b)/menu.tvx"},
        {"^macro_use[inc\\_menu.cfg]", "^macro_use[inc\\menu.tvx]",
         DiagnosticCode::reference_rewritten,
         "reference rewritten (line 1): inc\\_menu.cfg -> inc\\menu.tvx"},
        // "$" is plain text in the old language: still a literal name.
        {"^macro_use[$dir/_menu.cfg]", "^macro_use[^$dir/menu.tvx]",
         DiagnosticCode::reference_rewritten,
         "reference rewritten (line 1): $dir/_menu.cfg -> $dir/menu.tvx"},
        {"^macro_use[^var[d]/_menu.cfg]", "", DiagnosticCode::predefinitions_changed, ""},
        {"^macro_use[other.cfg]", "^macro_use[other.cfg]", DiagnosticCode::predefinitions_changed,
         ""},
        {"^macro_use[_menu.cfg.bak]", "^macro_use[_menu.cfg.bak]",
         DiagnosticCode::predefinitions_changed, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        Result r = convert(c.input, options);
        ASSERT_EQ(r.diagnostics.size(), 1u);
        EXPECT_EQ(r.diagnostics[0].code, c.code);
        if (!c.message.empty()) {
            EXPECT_EQ(r.diagnostics[0].message, c.message);
        }
        std::string out = r.output.str();
        if (!c.output.empty()) {
            EXPECT_NE(out.find(c.output), std::string::npos) << out;
        }
        // The rewritten reference is what a computed one would not be: the
        // rest of the output is the plain conversion's.
        Result plain = convert(c.input);
        EXPECT_EQ(plain.diagnostics[0].code, DiagnosticCode::predefinitions_changed);
        if (c.code == DiagnosticCode::predefinitions_changed) {
            EXPECT_EQ(out, plain.output.str());
        }
    }
}

// The callback is asked with the last component and the whole literal
// argument, as written in the old language, once per reference.
TEST(ReferenceRewriting, TheWholeArgumentReachesTheCallback) {
    std::vector<std::pair<std::string, std::string>> asked;
    ConvertOptions options;
    options.renamed_macro_file = [&](std::string_view name,
                                     std::string_view reference) -> std::optional<std::string> {
        asked.emplace_back(name, reference);
        return std::string("menu.tvx");
    };
    Result r = convert("^macro_use[a(b)/_menu.cfg]\n^macro_use[_x.cfg]\n", options);
    using Pair = std::pair<std::string, std::string>;
    EXPECT_EQ(asked, (std::vector<Pair>{{"_menu.cfg", "a(b)/_menu.cfg"}, {"_x.cfg", "_x.cfg"}}));
    EXPECT_EQ(r.diagnostics.size(), 2u);
}

}  // namespace
}  // namespace tvconv

namespace tvconv {
namespace {

// Running out of memory ends the conversion, but what it reported before
// stays in the result, for callers that read the result and not the stream.
TEST(OutOfMemory, KeepsTheDiagnosticsReportedBefore) {
    ConvertOptions options;
    options.max_text_bytes = kOneMegabyte;
    Result r = convert("^ascii[x]\n" + exponential_output(), options);
    EXPECT_EQ(r.status, Status::out_of_memory);
    ASSERT_EQ(r.diagnostics.size(), 2u);
    EXPECT_EQ(r.diagnostics[0].code, DiagnosticCode::unconvertible_operator);
    EXPECT_EQ(r.diagnostics[1].code, DiagnosticCode::out_of_memory);
    EXPECT_EQ(r.diagnostics_before_output, 2u);
    EXPECT_FALSE(r.output.present());
}

}  // namespace
}  // namespace tvconv
