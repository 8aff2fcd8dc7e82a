// Rule actions: each function builds the target-language text of one
// construction from the converted texts of its parts.
//
// Ownership: a function takes over every Text* it is given and returns a new
// or reused value; the caller (a grammar action) passes the values of the
// rule's right-hand side and keeps the result. Helper methods are registered
// before the result is made; diagnostics are written afterwards.
#pragma once

#include "driver/conversion.h"
#include "text/text.h"

namespace tvconv::tr {

// --- Document structure, text and escapes (rules 2-15, 136, 139-170): document.cpp
Text* document_with_macros(Conversion& cv, Text* leading, Text* definitions);      // 2
Text* macro_main(Conversion& cv, Text* params, Text* line_end, Text* body);        // 6
Text* macro_mime_types(Conversion& cv, Text* params, Text* line_end, Text* body);  // 7
Text* macro_definition(Conversion& cv, Text* name, Text* params, Text* line_end,
                       Text* body);    // 8
void header_line_end(Conversion& cv);  // counts the line feed ending a header
Text* no_parameters(Conversion& cv);   // 9
Text* parameter_list(Conversion& cv, Text* params, Text* trailing);  // 10
Text* empty(Conversion& cv);                                         // 11, 165
Text* join(Conversion& cv, Text* a, Text* b);  // append: 12, 13, 146-148, 162-164, 170
Text* add_definition(Conversion& cv, Text* definitions, Text* definition);  // 5
Text* join_arguments(Conversion& cv, Text* arguments, Text* argument);      // 15
Text* lone_caret(Conversion& cv);                                           // 136
Text* dollar(Conversion& cv, Text* token);                                  // 139, 140
Text* line_feed(Conversion& cv, Text* token);                               // 145, 148
Text* caret_escape(Conversion& cv, Text* token);                            // 153-157

// --- Variables, evaluation and control flow (rules 16-25, 30-38): control.cpp
Text* if_3(Conversion& cv, Text* a, Text* b, Text* c);                     // 16
Text* if_2(Conversion& cv, Text* a, Text* b);                              // 17
Text* ifdef_3(Conversion& cv, Text* a, Text* b, Text* c);                  // 18
Text* ifdef_2(Conversion& cv, Text* a, Text* b);                           // 19
Text* eval_2(Conversion& cv, Text* a, Text* b);                            // 20
Text* eval_1(Conversion& cv, Text* a);                                     // 21
Text* var_1(Conversion& cv, Text* a);                                      // 22
Text* var_2(Conversion& cv, Text* a, Text* b);                             // 23
Text* var_3(Conversion& cv, Text* a, Text* b, Text* c);                    // 24
Text* random_1(Conversion& cv, Text* a);                                   // 25
Text* switch_2(Conversion& cv, Text* a, Text* b);                          // 30
Text* case_2(Conversion& cv, Text* a, Text* b);                            // 31
Text* default_2(Conversion& cv, Text* a, Text* b);                         // 32
Text* eq_4(Conversion& cv, Text* a, Text* b, Text* c, Text* d);            // 33
Text* eq_3(Conversion& cv, Text* a, Text* b, Text* c);                     // 34
Text* start_3(Conversion& cv, Text* a, Text* b, Text* c);                  // 35
Text* for_5(Conversion& cv, Text* a, Text* b, Text* c, Text* d, Text* e);  // 36
Text* for_4(Conversion& cv, Text* a, Text* b, Text* c, Text* d);           // 37
Text* while_2(Conversion& cv, Text* a, Text* b);                           // 38

// --- Macro calls and macro_new (rules 26-29): macros.cpp
Text* macro_1(Conversion& cv, Text* a);                         // 26
Text* macro_args(Conversion& cv, Text* name, Text* arguments);  // 27
Text* macro_new_name(Conversion& cv, Text* name, Text* body);   // 28
Text* macro_new_2(Conversion& cv, Text* a, Text* b);            // 29

// --- Contexts and table constructions (rules 39-51, 137, 138): tables.cpp
void context_open(Conversion& cv, const Text* name);              // 39: push the name
void match_open(Conversion& cv);                                  // 137: push "unused_match"
void match_close(Conversion& cv);                                 // 138: pop
Text* context_2(Conversion& cv, Text* name, Text* body);          // 40
Text* config_1(Conversion& cv, Text* a);                          // 41
Text* config_options(Conversion& cv, Text* options, Text* body);  // 42
Text* load_1(Conversion& cv, Text* a);                            // 43
Text* load_2(Conversion& cv, Text* a, Text* b);                   // 44
Text* empty_2(Conversion& cv, Text* a, Text* b);                  // 45
Text* item_1(Conversion& cv, Text* a);                            // 46
Text* item_2(Conversion& cv, Text* a, Text* b);                   // 47
Text* menu_1(Conversion& cv, Text* a);                            // 48
Text* menu_2(Conversion& cv, Text* a, Text* b);                   // 49
Text* table_3(Conversion& cv, Text* a, Text* b, Text* c);         // 50
Text* table_2(Conversion& cv, Text* a, Text* b);                  // 51

// --- Request, environment and response operators (rules 52-58, 61, 62, 88-94): request.cpp
Text* form_1(Conversion& cv, Text* a);                                     // 52
Text* number_1(Conversion& cv, Text* a);                                   // 53
Text* query_0(Conversion& cv);                                             // 54
Text* env_1(Conversion& cv, Text* a);                                      // 55
Text* uri_0(Conversion& cv);                                               // 56
Text* header_2(Conversion& cv, Text* a, Text* b);                          // 57
Text* counter_1(Conversion& cv, Text* a);                                  // 58
Text* cmp_5(Conversion& cv, Text* a, Text* b, Text* c, Text* d, Text* e);  // 61
Text* color_2(Conversion& cv, Text* a, Text* b);                           // 62
Text* combine_2(Conversion& cv, Text* a, Text* b);                         // 88
Text* combine_1(Conversion& cv, Text* a);                                  // 89
Text* browser_2(Conversion& cv, Text* a, Text* b);                         // 90
Text* mangle_1(Conversion& cv, Text* a);                                   // 91
Text* cookie_3(Conversion& cv, Text* a, Text* b, Text* c);                 // 92
Text* cookie_2(Conversion& cv, Text* a, Text* b);                          // 93
Text* cookie_1(Conversion& cv, Text* a);                                   // 94

// --- SQL and table operators (rules 63-73): sql.cpp
Text* server_2(Conversion& cv, Text* a, Text* b);                      // 63
Text* sql_3(Conversion& cv, Text* a, Text* b, Text* c);                // 64
Text* sql_2(Conversion& cv, Text* a, Text* b);                         // 65
Text* sql_1(Conversion& cv, Text* a);                                  // 66
Text* locate_2(Conversion& cv, Text* a, Text* b);                      // 67
Text* shift_1(Conversion& cv, Text* a);                                // 68
Text* flip_1(Conversion& cv, Text* a);                                 // 69
Text* sort_direction(Conversion& cv, Text* column, Text* x, Text* y);  // 70
Text* sort_2(Conversion& cv, Text* a, Text* b);                        // 71
Text* save_1(Conversion& cv, Text* a);                                 // 72
Text* save_2(Conversion& cv, Text* a, Text* b);                        // 73

// --- String operators (rules 74-87): strings.cpp
Text* length_1(Conversion& cv, Text* a);                 // 74
Text* left_2(Conversion& cv, Text* a, Text* b);          // 75
Text* right_2(Conversion& cv, Text* a, Text* b);         // 76
Text* mid_3(Conversion& cv, Text* a, Text* b, Text* c);  // 77
Text* findstr_2(Conversion& cv, Text* a, Text* b);       // 78
Text* char_literal(Conversion& cv, Text* s);             // 79
Text* char_1(Conversion& cv, Text* a);                   // 80
Text* ascii_1(Conversion& cv, Text* a);                  // 81
Text* lsplit_2(Conversion& cv, Text* a, Text* b);        // 82
Text* rsplit_2(Conversion& cv, Text* a, Text* b);        // 83
Text* toupper_1(Conversion& cv, Text* a);                // 84
Text* tolower_1(Conversion& cv, Text* a);                // 85
Text* truncate_2(Conversion& cv, Text* a, Text* b);      // 86
Text* unescape_br_1(Conversion& cv, Text* a);            // 87

// --- File, process and mail operators (rules 95-115): files.cpp
Text* exec_3(Conversion& cv, Text* a, Text* b, Text* c);                    // 95
Text* exec_2(Conversion& cv, Text* a, Text* b);                             // 96
Text* exec_1(Conversion& cv, Text* a);                                      // 97
Text* sendmail_1(Conversion& cv, Text* a);                                  // 98
Text* uuencode_2(Conversion& cv, Text* a, Text* b);                         // 99
Text* name_1(Conversion& cv, Text* a);                                      // 100
Text* minusf_1(Conversion& cv, Text* a);                                    // 101
Text* stat_5(Conversion& cv, Text* a, Text* b, Text* c, Text* d, Text* e);  // 102
Text* stat_2(Conversion& cv, Text* a, Text* b);                             // 103
Text* find_2(Conversion& cv, Text* a, Text* b);                             // 104
Text* find_1(Conversion& cv, Text* a);                                      // 105
Text* index_2(Conversion& cv, Text* a, Text* b);                            // 106
Text* index_1(Conversion& cv, Text* a);                                     // 107
Text* download_3(Conversion& cv, Text* a, Text* b, Text* c);                // 108
Text* download_2(Conversion& cv, Text* a, Text* b);                         // 109
Text* download_1(Conversion& cv, Text* a);                                  // 110
Text* upload_3(Conversion& cv, Text* a, Text* b, Text* c);                  // 111
Text* upload_2(Conversion& cv, Text* a, Text* b);                           // 112
Text* unlink_1(Conversion& cv, Text* a);                                    // 113
Text* include_2(Conversion& cv, Text* a, Text* b);                          // 114
Text* include_1(Conversion& cv, Text* a);                                   // 115

// --- Pattern matching and option sets (rules 116-122): matching.cpp
Text* match_4(Conversion& cv, Text* pattern, Text* options, Text* code, Text* string);  // 116
Text* match_3(Conversion& cv, Text* pattern, Text* options, Text* string);              // 117
Text* optionset_2(Conversion& cv, Text* a, Text* b);                                    // 118
Text* optionclear_2(Conversion& cv, Text* a, Text* b);                                  // 119
Text* optionand_2(Conversion& cv, Text* a, Text* b);                                    // 120
Text* optionor_2(Conversion& cv, Text* a, Text* b);                                     // 121
Text* optioncount_1(Conversion& cv, Text* a);                                           // 122

// --- Dates and images (rules 123-130): dates.cpp
Text* date_1(Conversion& cv, Text* a);                                 // 123
Text* loadtimestamp_1(Conversion& cv, Text* a);                        // 124
Text* calendar_4(Conversion& cv, Text* a, Text* b, Text* c, Text* d);  // 125
Text* calendar_3(Conversion& cv, Text* a, Text* b, Text* c);           // 126
Text* dateoffset_3(Conversion& cv, Text* a, Text* b, Text* c);         // 127
Text* imgsize_1(Conversion& cv, Text* a);                              // 128
Text* gif_template_3(Conversion& cv, Text* a, Text* b, Text* c);       // 129
Text* gif_template_2(Conversion& cv, Text* a, Text* b);                // 130

// --- Remarks, processing and output levels (rules 59, 60, 131-135): processing.cpp
Text* macro_use_1(Conversion& cv, Text* a);       // 59
Text* macro_exists_1(Conversion& cv, Text* a);    // 60
Text* rem_1(Conversion& cv, Text* a);             // 131
Text* process_1(Conversion& cv, Text* a);         // 132
Text* level_2(Conversion& cv, Text* a, Text* b);  // 133
Text* optimize_literal(Conversion& cv, Text* s);  // 134
Text* optimize_1(Conversion& cv, Text* a);        // 135

}  // namespace tvconv::tr
