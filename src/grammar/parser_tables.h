// bison's LALR(1) tables, exported from the generated parser so that our own
// engine loop (engine_loop.cpp) runs exactly the automaton bison built. The
// constants needed at compile time are in the generated grammar_symbols.h.
#pragma once

#include <cstdint>

namespace tvconv {

struct ParserTables {
    const std::int16_t* pact;      // per state: base into table, or pact_ninf
    const std::uint8_t* defact;    // per state: default rule, 0 for none
    const std::int16_t* pgoto;     // per nonterminal: base into table for gotos
    const std::int16_t* defgoto;   // per nonterminal: default goto
    const std::int16_t* table;     // shifts (>0), reductions (<=0), gotos
    const std::int16_t* check;     // validates table entries
    const std::uint8_t* r1;        // per rule: left-hand symbol
    const std::int8_t* r2;         // per rule: right-hand length
    const std::int8_t* translate;  // token code to terminal symbol
    const std::uint8_t* stos;      // per state: its accessing symbol
    int pact_ninf;
    int table_ninf;
    int last;
    int ntokens;
    int final_state;
    int nstates;
    int nnts;  // nonterminals, numbered from ntokens on
    int max_token_code;
    int symbol_expression;
    int symbol_string;
    int symbol_whitespace;
};

const ParserTables& parser_tables();

// bison's name of a grammar symbol (no bounds check).
const char* bison_symbol_name(int symbol);

}  // namespace tvconv
