# Lists the scanner rules whose whole action is MARK_TOKEN(X) (the operator
# keywords and header words) as `case RULE: return TOK_X;`, read from the
# flex-generated scanner, so that the construction fast path (token_tables.h)
# gives a matched keyword the token of the rule that flex numbered, never a
# second copy of the keyword list. Fails when no such rule is found.
#   cmake -DIN=scanner.cpp -DOUT=rule_tokens.inc -P extract_rule_tokens.cmake
file(READ "${IN}" text)
# (No ";" in the pattern: it would split the list of matches.)
string(REGEX MATCHALL "case [0-9]+:\nYY_RULE_SETUP\n#line [0-9]+ \"[^\";\n]*\"\nMARK_TOKEN\\([A-Z_]+\\)"
       rules "${text}")
list(LENGTH rules count)
if(count LESS 80)
  message(FATAL_ERROR "extract_rule_tokens: found ${count} keyword rules in ${IN}, expected at least 80")
endif()
set(out "// Generated from the scanner's keyword rules; do not edit.\n")
foreach(rule IN LISTS rules)
  string(REGEX REPLACE "case ([0-9]+):.*MARK_TOKEN\\(([A-Z_]+)\\)$" "case \\1: return TOK_\\2;\n" line "${rule}")
  string(APPEND out "${line}")
endforeach()
file(WRITE "${OUT}.tmp" "${out}")
execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different "${OUT}.tmp" "${OUT}")
file(REMOVE "${OUT}.tmp")
