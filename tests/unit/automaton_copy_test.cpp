// The fast path's and the engine loop's tables are computed at compile time
// from copies of flex's and bison's tables that the build cuts out of the
// generated sources. The copies must be, entry for entry, the tables that
// the scanner and bison's own loop run.
#include <gtest/gtest.h>

#include <iterator>
#include <type_traits>

#include "grammar/parser_automaton.h"
#include "grammar/parser_tables.h"
#include "lexer/scanner_automaton.h"
#include "lexer/scanner_tables.h"

namespace tvconv {
namespace {

// The entries where `copy` and `original` differ.
template <class Copy, class Original>
int differences(const Copy& copy, const Original* original) {
    int n = 0;
    for (std::size_t i = 0; i < std::size(copy); ++i) n += copy[i] != original[i];
    return n;
}

TEST(AutomatonCopies, AreTheScannersTables) {
    namespace sa = scanner_automaton;
    const ScannerTables& t = scanner_tables();
    ASSERT_EQ(static_cast<int>(std::extent_v<decltype(sa::yy_nxt), 0>), t.states);
    ASSERT_GE(static_cast<int>(std::size(sa::yy_accept)), t.states);
    int rows_differing = 0;
    for (int s = 0; s < t.states; ++s) rows_differing += differences(sa::yy_nxt[s], t.next[s]) != 0;
    EXPECT_EQ(rows_differing, 0);
    EXPECT_EQ(differences(sa::yy_accept, t.accept), 0);
    for (int c = 0; c < ScannerTables::kConditions; ++c)
        for (int bol = 0; bol < 2; ++bol)
            EXPECT_EQ(scanner_start_state(c, bol), t.start_state[c][bol]);
}

TEST(AutomatonCopies, AreBisonsTables) {
    namespace pa = parser_automaton;
    const ParserTables& t = parser_tables();
    EXPECT_EQ(pa::YYPACT_NINF, t.pact_ninf);
    EXPECT_EQ(pa::YYTABLE_NINF, t.table_ninf);
    EXPECT_EQ(pa::YYLAST, t.last);
    EXPECT_EQ(pa::YYNTOKENS, t.ntokens);
    EXPECT_EQ(pa::YYFINAL, t.final_state);
    EXPECT_EQ(pa::YYNSTATES, t.nstates);
    EXPECT_EQ(pa::YYNNTS, t.nnts);
    EXPECT_EQ(pa::YYMAXUTOK, t.max_token_code);
    EXPECT_EQ(pa::YYSYMBOL_expression, t.symbol_expression);
    EXPECT_EQ(pa::YYSYMBOL_string, t.symbol_string);
    EXPECT_EQ(pa::YYSYMBOL_whitespace, t.symbol_whitespace);
    // Each copy's length is its own; the originals' are the constants above.
    EXPECT_EQ(std::size(pa::yypact), static_cast<std::size_t>(t.nstates));
    EXPECT_EQ(std::size(pa::yydefact), static_cast<std::size_t>(t.nstates));
    EXPECT_EQ(std::size(pa::yystos), static_cast<std::size_t>(t.nstates));
    EXPECT_EQ(std::size(pa::yypgoto), static_cast<std::size_t>(t.nnts));
    EXPECT_EQ(std::size(pa::yydefgoto), static_cast<std::size_t>(t.nnts));
    EXPECT_EQ(std::size(pa::yytable), static_cast<std::size_t>(t.last + 1));
    EXPECT_EQ(std::size(pa::yycheck), static_cast<std::size_t>(t.last + 1));
    EXPECT_EQ(std::size(pa::yytranslate), static_cast<std::size_t>(t.max_token_code + 1));
    EXPECT_EQ(std::size(pa::yyr1), std::size(pa::yyr2));
    EXPECT_EQ(differences(pa::yypact, t.pact), 0);
    EXPECT_EQ(differences(pa::yydefact, t.defact), 0);
    EXPECT_EQ(differences(pa::yystos, t.stos), 0);
    EXPECT_EQ(differences(pa::yypgoto, t.pgoto), 0);
    EXPECT_EQ(differences(pa::yydefgoto, t.defgoto), 0);
    EXPECT_EQ(differences(pa::yytable, t.table), 0);
    EXPECT_EQ(differences(pa::yycheck, t.check), 0);
    EXPECT_EQ(differences(pa::yytranslate, t.translate), 0);
    EXPECT_EQ(differences(pa::yyr1, t.r1), 0);
    EXPECT_EQ(differences(pa::yyr2, t.r2), 0);
}

}  // namespace
}  // namespace tvconv
