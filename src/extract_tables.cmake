# Copies tables and constants out of a generated scanner or parser into a
# header of constexpr arrays, so that the tables built from them (the fast
# path's byte classes, the parser's unpacked action table) are computed by
# the compiler instead of at every start. The generated sources keep their
# own tables; a unit test compares the copies entry for entry.
#   cmake -DIN=parser.cpp -DOUT=tables.h -DNAMESPACE=a::b
#         -DARRAYS=yypact,yytable -DDEFINES=YYLAST,YYNTOKENS
#         -DENUMS=YYSYMBOL_string -P extract_tables.cmake
# ARRAYS are `static const TYPE NAME[...] = { ... };` definitions; DEFINES
# are `#define NAME VALUE` lines, ENUMS `NAME = VALUE,` enumerators. Each
# becomes a constexpr of the same name; the build fails when one is missing.
cmake_minimum_required(VERSION 3.16)
file(READ "${IN}" text)
string(REPLACE "," ";" arrays "${ARRAYS}")
string(REPLACE "," ";" defines "${DEFINES}")
string(REPLACE "," ";" enums "${ENUMS}")

set(types
  "flex_int16_t=std::int16_t" "flex_int32_t=std::int32_t"
  "yytype_int8=std::int8_t" "yytype_uint8=std::uint8_t"
  "yytype_int16=std::int16_t" "yytype_uint16=std::uint16_t")

set(out "// Generated from ${IN}; do not edit.\n#pragma once\n\n#include <cstdint>\n\nnamespace ${NAMESPACE} {\n\n")
foreach(name IN LISTS arrays)
  string(REGEX MATCH "static const ([a-z_0-9]+) ${name}(\\[[0-9]*\\](\\[[0-9]+\\])?) =" head "${text}")
  if(head STREQUAL "")
    message(FATAL_ERROR "extract_tables: the array ${name} was not found in ${IN}")
  endif()
  set(type "${CMAKE_MATCH_1}")
  set(dims "${CMAKE_MATCH_2}")
  set(cxx_type "")
  foreach(pair IN LISTS types)
    string(REGEX REPLACE "=.*" "" from "${pair}")
    string(REGEX REPLACE ".*=" "" to "${pair}")
    if(type STREQUAL from)
      set(cxx_type "${to}")
    endif()
  endforeach()
  if(cxx_type STREQUAL "")
    message(FATAL_ERROR "extract_tables: ${name} has the unknown type ${type}")
  endif()
  string(FIND "${text}" "${head}" at)
  string(LENGTH "${head}" head_length)
  math(EXPR at "${at} + ${head_length}")
  string(SUBSTRING "${text}" ${at} -1 rest)
  # The initializer ends at the first "}" followed by ";" (flex writes "} ;").
  string(REGEX MATCH "^[^;]*}[ \n]*;" body "${rest}")
  if(body STREQUAL "")
    message(FATAL_ERROR "extract_tables: the initializer of ${name} was not found in ${IN}")
  endif()
  string(APPEND out "inline constexpr ${cxx_type} ${name}${dims} =${body}\n\n")
endforeach()
foreach(name IN LISTS defines)
  string(REGEX MATCH "\n#define ${name} +([^\n]+)\n" line "${text}")
  if(line STREQUAL "")
    message(FATAL_ERROR "extract_tables: #define ${name} was not found in ${IN}")
  endif()
  string(STRIP "${CMAKE_MATCH_1}" value)
  string(APPEND out "inline constexpr int ${name} = ${value};\n")
endforeach()
foreach(name IN LISTS enums)
  string(REGEX MATCH "\n +${name} = (-?[0-9]+)[, ]" line "${text}")
  if(line STREQUAL "")
    message(FATAL_ERROR "extract_tables: the enumerator ${name} was not found in ${IN}")
  endif()
  string(APPEND out "inline constexpr int ${name} = ${CMAKE_MATCH_1};\n")
endforeach()
string(APPEND out "\n}  // namespace ${NAMESPACE}\n")
file(WRITE "${OUT}.tmp" "${out}")
execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different "${OUT}.tmp" "${OUT}")
file(REMOVE "${OUT}.tmp")
