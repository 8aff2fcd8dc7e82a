# Copies the rule actions out of the bison-generated parser so that our own
# engine loop (engine_loop.cpp) runs exactly the grammar file's actions,
# dispatched by bison's rule numbers. The markers are those of bison 3.8's
# yacc.c skeleton; the build fails if they are not found.
#   cmake -DIN=parser.cpp -DOUT=actions.inc -P extract_actions.cmake
file(READ "${IN}" text)
string(FIND "${text}" "  switch (yyn)\n    {\n" begin)
string(FIND "${text}" "      default: break;\n    }\n" end)
if(begin EQUAL -1 OR end EQUAL -1 OR end LESS begin)
  message(FATAL_ERROR "extract_actions: the action switch was not found in ${IN}")
endif()
string(LENGTH "  switch (yyn)\n    {\n" skip)
math(EXPR begin "${begin} + ${skip}")
math(EXPR length "${end} - ${begin}")
string(SUBSTRING "${text}" ${begin} ${length} actions)
file(WRITE "${OUT}.tmp" "// Generated from the grammar's actions; do not edit.\n${actions}")
execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different "${OUT}.tmp" "${OUT}")
file(REMOVE "${OUT}.tmp")
