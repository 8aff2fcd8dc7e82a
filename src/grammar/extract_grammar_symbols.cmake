# Writes the grammar facts that our engine loop and the syntax-error report
# need at compile time, read from bison's output so that none is a copy:
# the number of terminals, the error and undefined symbols and the stack
# depths from the generated parser (parser.y's epilogue asserts each against
# the macro in force), and the terminals that can begin a `symbol` and a
# `whitespace`, derived from the rules in bison's report. The build fails
# when anything is not found, or when the derivation meets an empty rule
# (what begins the nonterminal would then depend on what follows it).
#   cmake -DIN=parser.cpp -DREPORT=parser.output -DOUT=grammar_symbols.h -P extract_grammar_symbols.cmake
cmake_minimum_required(VERSION 3.16)
file(READ "${IN}" text)

function(define_value name pattern)
  if(NOT text MATCHES "${pattern}")
    message(FATAL_ERROR "extract_grammar_symbols: ${name} not found in ${IN}")
  endif()
  set(${name} "${CMAKE_MATCH_1}" PARENT_SCOPE)
endfunction()
define_value(ntokens "\n#define YYNTOKENS +([0-9]+)\n")
define_value(initial_depth "\n# *define YYINITDEPTH +([0-9]+)\n")
define_value(max_depth "\n# *define YYMAXDEPTH +([0-9]+)\n")

# Symbol numbers by name, from the yysymbol_kind_t enumeration.
string(REGEX MATCHALL "\n  YYSYMBOL_[A-Za-z_0-9]+ = [0-9]+" enumerators "${text}")
foreach(e IN LISTS enumerators)
  string(REGEX REPLACE "\n  YYSYMBOL_([A-Za-z_0-9]+) = ([0-9]+)" "\\1;\\2" pair "${e}")
  list(GET pair 0 name)
  list(GET pair 1 number)
  set("number_of_${name}" ${number})
endforeach()
foreach(name YYerror YYUNDEF)
  if(NOT DEFINED "number_of_${name}")
    message(FATAL_ERROR "extract_grammar_symbols: YYSYMBOL_${name} not found in ${IN}")
  endif()
endforeach()

# The rules, from the report's "Grammar" section: "  N lhs: rhs" and
# "  N    | rhs" for the next alternative; an empty right side is "ε".
file(STRINGS "${REPORT}" lines)
set(in_grammar FALSE)
set(nonterminals "")
foreach(line IN LISTS lines)
  if(line STREQUAL "Grammar")
    set(in_grammar TRUE)
  elseif(in_grammar AND line MATCHES "^Terminals")
    break()
  elseif(in_grammar AND line MATCHES "^ *[0-9]+ ([^ :]+):(.*)$")
    set(lhs "${CMAKE_MATCH_1}")
    set(rhs "${CMAKE_MATCH_2}")
    list(APPEND nonterminals "${lhs}")
  elseif(in_grammar AND line MATCHES "^ *[0-9]+ +\\|(.*)$")
    set(rhs "${CMAKE_MATCH_1}")
  else()
    continue()
  endif()
  string(STRIP "${rhs}" rhs)
  if(rhs STREQUAL "ε" OR rhs STREQUAL "%empty")
    set(rhs "")
  endif()
  string(MAKE_C_IDENTIFIER "${lhs}" key)
  list(APPEND "rules_of_${key}" "(${rhs})")
endforeach()
if(nonterminals STREQUAL "")
  message(FATAL_ERROR "extract_grammar_symbols: no rules found in ${REPORT}")
endif()

# FIRST(start) for a nonterminal none of whose derivations begins empty.
function(first_terminals start result)
  set(pending "${start}")
  set(visited "")
  set(terminals "")
  while(NOT pending STREQUAL "")
    list(POP_FRONT pending n)
    if(n IN_LIST visited)
      continue()
    endif()
    list(APPEND visited "${n}")
    string(MAKE_C_IDENTIFIER "${n}" key)
    if(NOT DEFINED "rules_of_${key}")
      message(FATAL_ERROR "extract_grammar_symbols: no rules for ${n} in ${REPORT}")
    endif()
    foreach(rule IN LISTS "rules_of_${key}")
      if(rule STREQUAL "()")
        message(FATAL_ERROR "extract_grammar_symbols: ${n} has an empty rule; what begins ${start} is not its first symbols alone")
      endif()
      string(REGEX REPLACE "^\\(([^ )]+).*$" "\\1" first "${rule}")
      if(first IN_LIST nonterminals)
        list(APPEND pending "${first}")
      elseif(DEFINED "number_of_${first}")
        list(APPEND terminals "${number_of_${first}}")
      else()
        message(FATAL_ERROR "extract_grammar_symbols: no symbol number for ${first} in ${IN}")
      endif()
    endforeach()
  endwhile()
  # In symbol order.
  set(ordered "")
  math(EXPR last "${ntokens} - 1")
  foreach(number RANGE ${last})
    if(number IN_LIST terminals)
      list(APPEND ordered ${number})
      list(REMOVE_ITEM terminals ${number})
    endif()
  endforeach()
  if(NOT terminals STREQUAL "")
    message(FATAL_ERROR "extract_grammar_symbols: ${terminals} begin ${start} but are no terminals")
  endif()
  list(JOIN ordered ", " joined)
  set(${result} "${joined}" PARENT_SCOPE)
endfunction()
first_terminals(symbol symbol_first)
first_terminals(whitespace whitespace_first)

file(WRITE "${OUT}.tmp" "// Generated from bison's parser and report; do not edit.
#pragma once

namespace tvconv::grammar {

inline constexpr int kTerminalCount = ${ntokens};
inline constexpr int kErrorSymbol = ${number_of_YYerror};
inline constexpr int kUndefinedSymbol = ${number_of_YYUNDEF};
inline constexpr int kInitialDepth = ${initial_depth};
inline constexpr int kMaxDepth = ${max_depth};

// The terminals that can begin a `symbol`, and a `whitespace`.
inline constexpr int kSymbolFirst[] = {${symbol_first}};
inline constexpr int kWhitespaceFirst[] = {${whitespace_first}};

}  // namespace tvconv::grammar
")
execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different "${OUT}.tmp" "${OUT}")
file(REMOVE "${OUT}.tmp")
