# Writes the numbers that the text fast path (lexer/automaton.h) knows the
# scanner by, read from the flex-generated scanner so that none is a copy:
#  - the rules it needs: each such rule's action opens with FAST_RULE(name)
#    in scanner.l, and flex numbers it `case N:`, so the numbers follow the
#    rules wherever they move;
#  - the start conditions: INITIAL and those declared with %x or %s, as
#    flex #defines them.
# Fails when a marker of scanner.l does not open the action of a rule, when
# a name is used twice, or when a condition is not found.
#   cmake -DIN=scanner.cpp -DSOURCE=scanner.l -DOUT=scanner_numbers.h -P extract_scanner_numbers.cmake
cmake_minimum_required(VERSION 3.16)
file(READ "${SOURCE}" source)
file(READ "${IN}" text)

# The markers of the rules section (between the two %% lines).
string(FIND "${source}" "\n%%" begin)
string(FIND "${source}" "\n%%" end REVERSE)
if(begin EQUAL -1 OR end EQUAL begin)
  message(FATAL_ERROR "extract_scanner_numbers: no rules section in ${SOURCE}")
endif()
math(EXPR length "${end} - ${begin}")
string(SUBSTRING "${source}" ${begin} ${length} rules)
string(SUBSTRING "${source}" 0 ${begin} definitions)
string(REGEX MATCHALL "FAST_RULE\\(([a-z_0-9]+)\\)" markers "${rules}")
if(markers STREQUAL "")
  message(FATAL_ERROR "extract_scanner_numbers: no FAST_RULE marker in ${SOURCE}")
endif()

# (No ";" in the pattern: it would split the list of matches.)
string(REGEX MATCHALL
       "case [0-9]+:\n(/\\* rule [0-9]+ can match eol \\*/\n)?YY_RULE_SETUP\n#line [0-9]+ \"[^\";\n]*\"\n[{ ]*FAST_RULE\\([a-z_0-9]+\\)"
       cases "${text}")

set(out "// Generated from scanner.l and the scanner flex made of it; do not edit.\n")
string(APPEND out "#pragma once\n\n// The rules marked FAST_RULE.\nnamespace tvconv::scanner_rule {\n\n")
set(seen "")
foreach(marker IN LISTS markers)
  string(REGEX REPLACE "FAST_RULE\\((.*)\\)" "\\1" name "${marker}")
  if(name IN_LIST seen)
    message(FATAL_ERROR "extract_scanner_numbers: FAST_RULE(${name}) marks two rules")
  endif()
  list(APPEND seen "${name}")
  set(number "")
  foreach(case IN LISTS cases)
    if(case MATCHES "^case ([0-9]+):.*FAST_RULE\\(${name}\\)$")
      set(number "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  if(number STREQUAL "")
    message(FATAL_ERROR "extract_scanner_numbers: FAST_RULE(${name}) does not open a rule's action in ${IN}")
  endif()
  string(APPEND out "inline constexpr int ${name} = ${number};\n")
endforeach()
string(APPEND out "\n}  // namespace tvconv::scanner_rule\n")

# Start conditions, named in lower case.
string(REGEX MATCHALL "\n%[xs][ \t]+[^\n]*" declarations "${definitions}")
set(conditions INITIAL)
foreach(declaration IN LISTS declarations)
  string(REGEX REPLACE "^\n%[xs][ \t]+" "" names "${declaration}")
  string(REGEX REPLACE "[ \t]+" ";" names "${names}")
  list(APPEND conditions ${names})
endforeach()
list(LENGTH conditions count)
string(APPEND out "\n// The start conditions.\nnamespace tvconv::scanner_condition {\n\n")
foreach(condition IN LISTS conditions)
  if(NOT text MATCHES "\n#define ${condition} ([0-9]+)\n")
    message(FATAL_ERROR "extract_scanner_numbers: start condition ${condition} not found in ${IN}")
  endif()
  if(CMAKE_MATCH_1 GREATER_EQUAL count)
    message(FATAL_ERROR "extract_scanner_numbers: start condition ${condition} is numbered ${CMAKE_MATCH_1}, not below ${count}")
  endif()
  string(TOLOWER "${condition}" name)
  string(APPEND out "inline constexpr int ${name} = ${CMAKE_MATCH_1};\n")
endforeach()
string(APPEND out "inline constexpr int count = ${count};\n")
string(APPEND out "\n}  // namespace tvconv::scanner_condition\n")

file(WRITE "${OUT}.tmp" "${out}")
execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different "${OUT}.tmp" "${OUT}")
file(REMOVE "${OUT}.tmp")
